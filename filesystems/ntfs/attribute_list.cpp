#include "filesystems/ntfs/attribute_list.h"

#include "filesystems/ntfs/mft_record.h"
#include "filesystems/ntfs/ntfs_bytes.h"

namespace vexlo::ntfs {
namespace {

constexpr std::size_t kEntryLengthField = 4;
constexpr std::size_t kNameLengthField = 6;
constexpr std::size_t kLowestVcnField = 8;
constexpr std::size_t kReferenceField = 16;
constexpr std::size_t kEntryFixedBytes = 26;

}  // namespace

bool AttributeListReader::Next(AttributeListEntry* entry) {
  if (offset_ + kEntryFixedBytes > list_.size()) return false;
  const uint8_t* head = &list_[offset_];
  const uint32_t type = Le32(head);
  const uint16_t length = Le16(head + kEntryLengthField);
  if (type == 0 || type == kAttrEnd || length < kEntryFixedBytes ||
      offset_ + length > list_.size()) {
    offset_ = list_.size();
    return false;
  }
  entry->type = type;
  entry->name_length = head[kNameLengthField];
  entry->lowest_vcn = Le64(head + kLowestVcnField);
  entry->record = Le64(head + kReferenceField) & 0x0000FFFFFFFFFFFFull;
  offset_ += length;
  return true;
}

}  // namespace vexlo::ntfs
