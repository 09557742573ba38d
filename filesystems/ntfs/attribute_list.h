// The attribute list ($ATTRIBUTE_LIST): where a file's attributes live when
// they no longer fit its base record.
#pragma once

#include <cstdint>
#include <span>

namespace vexlo::ntfs {

struct AttributeListEntry {
  uint32_t type = 0;
  uint8_t name_length = 0;
  uint64_t lowest_vcn = 0;
  // MFT record that holds the attribute (the low 48 bits of the reference).
  uint64_t record = 0;
};

// Walks the entries of a list value (resident value, or the data of a
// non-resident list). Ends at a type of 0 or 0xFFFFFFFF, an entry length
// below the fixed part, or an entry that does not fit the bytes.
class AttributeListReader {
 public:
  explicit AttributeListReader(std::span<const uint8_t> list) : list_(list) {}
  bool Next(AttributeListEntry* entry);

 private:
  std::span<const uint8_t> list_;
  std::size_t offset_ = 0;
};

}  // namespace vexlo::ntfs
