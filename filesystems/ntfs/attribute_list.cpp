#include "filesystems/ntfs/attribute_list.h"

#include "filesystems/ntfs/mft_record.h"
#include "ondisk/endian.h"

namespace vexlo::ntfs {
namespace {

constexpr std::size_t kTypeField = 0;
constexpr std::size_t kEntryLengthField = 4;
constexpr std::size_t kNameLengthField = 6;
constexpr std::size_t kLowestVcnField = 8;
constexpr std::size_t kReferenceField = 16;
constexpr std::size_t kEntryFixedBytes = 26;

}  // namespace

bool AttributeListReader::Next(AttributeListEntry* entry) {
  if (offset_ + kEntryFixedBytes > list_.size()) return false;
  const std::span<const uint8_t> head = list_.subspan(offset_);
  const uint32_t type = LoadLe32(head, kTypeField);
  const uint16_t length = LoadLe16(head, kEntryLengthField);
  if (type == 0 || type == kAttrEnd || length < kEntryFixedBytes ||
      offset_ + length > list_.size()) {
    offset_ = list_.size();
    return false;
  }
  entry->type = type;
  entry->name_length = head[kNameLengthField];
  entry->lowest_vcn = LoadLe64(head, kLowestVcnField);
  entry->record = LoadLe64(head, kReferenceField) & kRecordNumberMask;
  offset_ += length;
  return true;
}

}  // namespace vexlo::ntfs
