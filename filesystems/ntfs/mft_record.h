// One MFT FILE record: its update-sequence fix-up, its header and the walk
// over its attributes.
//
// Everything here works on a record held in memory and refers into it: no
// allocation, no engine state. A record read from a medium is untrusted; every
// offset is checked against the record before it is used, and a record whose
// header does not hold together is reported as unusable so that the caller
// skips it.
#pragma once

#include <cstdint>
#include <span>

#include "ondisk/ntfs_file_record.h"

namespace vexlo::ntfs {

inline constexpr uint32_t kAttrStandardInformation = 0x10;
inline constexpr uint32_t kAttrAttributeList = 0x20;
inline constexpr uint32_t kAttrFileName = 0x30;
inline constexpr uint32_t kAttrData = 0x80;
inline constexpr uint32_t kAttrIndexAllocation = 0xA0;
inline constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

// MFT record of the root directory; records below 12 are the volume's own
// files and never describe a user's file.
inline constexpr uint32_t kRootRecord = 5;
inline constexpr uint32_t kFirstUserRecord = 12;

// The update-sequence stride: the last two bytes of every 512 bytes of a
// record are swapped for the sequence number when it is written.
inline constexpr uint32_t kFixupStride = 512;

// Puts the saved words of the update-sequence array back at the end of each
// 512-byte stride. The sequence number itself is not compared: a record torn
// by a crash still gives what it holds. False when the array does not fit the
// record or does not match its size; the record is then left unchanged.
bool ApplyFixup(std::span<uint8_t> record);

struct RecordHeader {
  uint16_t flags = 0;
  uint16_t first_attribute = 0;
  // End of the attribute area, never beyond the record.
  uint32_t bytes_in_use = 0;
  // Non-zero in an extension record: the base record it belongs to.
  uint64_t base_record = 0;
  // Records written by NTFS 3.1 and later carry their own number; older ones
  // (update-sequence array at offset 42) do not.
  bool has_number = false;
  uint32_t number = 0;
};

// Reads the header of a fixed-up record. False without the signature or when
// the first attribute or the bytes in use lie outside the record.
bool ParseRecordHeader(std::span<const uint8_t> record, RecordHeader* header);

// One attribute inside a record. `bytes` covers the whole attribute.
struct Attribute {
  uint32_t type = 0;
  bool non_resident = false;
  uint8_t name_length = 0;
  std::span<const uint8_t> bytes;
};

// Walks the attributes between the first-attribute offset and the bytes in
// use. Ends at an end marker, a type of 0 or above 0xFDFDFDFC, a length of 0
// or a header that does not fit what is left: nothing past such an attribute
// can be trusted.
class AttributeWalker {
 public:
  AttributeWalker(std::span<const uint8_t> record, const RecordHeader& header);
  bool Next(Attribute* attribute);

 private:
  std::span<const uint8_t> area_;
  std::size_t offset_;
};

// The value of a resident attribute; false when it is non-resident or its
// value lies outside the attribute.
bool ResidentValue(const Attribute& attribute, std::span<const uint8_t>* value);

struct NonResidentInfo {
  uint64_t lowest_vcn = 0;
  uint64_t real_size = 0;
  std::span<const uint8_t> run_bytes;  // up to the end of the attribute
};

// The header fields of a non-resident attribute; false when the attribute is
// resident, too short, or its run list starts outside it.
bool ReadNonResident(const Attribute& attribute, NonResidentInfo* info);

}  // namespace vexlo::ntfs
