#include "filesystems/ntfs/attribute_list.h"

#include "filesystems/ntfs/mft_record.h"

namespace vexlo::ntfs {

bool AttributeListReader::Next(AttributeListEntry* entry) {
  if (offset_ + attribute_list_entry::kFixedBytes > list_.size()) return false;
  const std::span<const uint8_t> head = list_.subspan(offset_);
  const uint32_t type = attribute_list_entry::kType.Load(head);
  const uint16_t length = attribute_list_entry::kLength.Load(head);
  if (type == 0 || type == kAttrEnd || length < attribute_list_entry::kFixedBytes ||
      offset_ + length > list_.size()) {
    offset_ = list_.size();
    return false;
  }
  entry->type = type;
  entry->name_length = attribute_list_entry::kNameLength.Load(head);
  entry->lowest_vcn = attribute_list_entry::kLowestVcn.Load(head);
  entry->record = attribute_list_entry::kReference.Load(head) & kRecordNumberMask;
  offset_ += length;
  return true;
}

}  // namespace vexlo::ntfs
