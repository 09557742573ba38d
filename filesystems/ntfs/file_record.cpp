#include "filesystems/ntfs/file_record.h"

namespace vexlo::ntfs {

bool SummarizeFileRecord(std::span<const uint8_t> record, FileRecordSummary* summary) {
  *summary = FileRecordSummary{};
  if (!ParseRecordHeader(record, &summary->header)) return false;
  AttributeWalker walker(record, summary->header);
  Attribute attribute;
  std::span<const uint8_t> value;
  while (walker.Next(&attribute)) {
    switch (attribute.type) {
      case kAttrStandardInformation:
        if (!summary->has_standard_times && ResidentValue(attribute, &value)) {
          summary->has_standard_times = ParseStandardInformation(value, &summary->standard_times);
        }
        break;
      case kAttrAttributeList:
        if (!summary->has_attribute_list) {
          summary->has_attribute_list = true;
          summary->attribute_list = attribute;
        }
        break;
      case kAttrFileName: {
        FileNameValue name;
        if (!ResidentValue(attribute, &value) || !ParseFileName(value, &name)) break;
        if (!summary->has_name) {
          summary->has_name = true;
          summary->parent_record = name.parent_record;
          summary->name = name;
        } else if (PrefersName(summary->name.name_space, name.name_space)) {
          summary->name = name;
        }
        break;
      }
      case kAttrData:
        if (summary->has_data || attribute.name_length != 0) break;
        if (attribute.non_resident) {
          summary->has_data = ReadNonResident(attribute, &summary->data);
        } else if (ResidentValue(attribute, &summary->resident_data)) {
          summary->has_data = true;
          summary->data_resident = true;
        }
        break;
      default:
        break;
    }
  }
  return true;
}

uint64_t DataSize(const FileRecordSummary& summary) {
  if (!summary.has_data) return summary.has_name ? summary.name.real_size : 0;
  return summary.data_resident ? summary.resident_data.size() : summary.data.real_size;
}

}  // namespace vexlo::ntfs
