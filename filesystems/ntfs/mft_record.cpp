#include "filesystems/ntfs/mft_record.h"

#include "ondisk/endian.h"

namespace vexlo::ntfs {
namespace {

constexpr uint32_t kLastValidType = 0xFDFDFDFC;

}  // namespace

bool ApplyFixup(std::span<uint8_t> record) {
  if (record.size() < record::kMinHeaderBytes || record.size() % kFixupStride != 0) return false;
  const uint16_t usa_offset = record::kUsaOffset.Load(record);
  const uint16_t usa_count = record::kUsaCount.Load(record);
  const std::size_t strides = record.size() / kFixupStride;
  if (usa_count != strides + 1 || usa_offset % 2 != 0 ||
      usa_offset + 2u * usa_count > kFixupStride - 2) {
    return false;
  }
  for (std::size_t i = 0; i < strides; ++i) {
    const uint8_t* saved = &record[usa_offset + 2 * (i + 1)];
    uint8_t* tail = &record[(i + 1) * kFixupStride - 2];
    tail[0] = saved[0];
    tail[1] = saved[1];
  }
  return true;
}

bool ParseRecordHeader(std::span<const uint8_t> record, RecordHeader* header) {
  if (record.size() < record::kMinHeaderBytes || !HasFileSignature(record)) return false;
  header->flags = record::kFlags.Load(record);
  header->first_attribute = record::kFirstAttribute.Load(record);
  header->bytes_in_use = record::kBytesInUse.Load(record);
  header->base_record = record::kBaseRecord.Load(record) & kRecordNumberMask;
  header->has_number = record::kUsaOffset.Load(record) >= record::kUsaOffsetWithNumber;
  header->number = header->has_number ? record::kRecordNumber.Load(record) : 0;
  if (header->bytes_in_use > record.size()) return false;
  return header->first_attribute >= record::kMinHeaderBytes - 6 &&
         header->first_attribute < header->bytes_in_use;
}

AttributeWalker::AttributeWalker(std::span<const uint8_t> record, const RecordHeader& header)
    : area_(record.first(header.bytes_in_use)), offset_(header.first_attribute) {}

bool AttributeWalker::Next(Attribute* attribute) {
  if (offset_ + attribute::kHeaderBytes > area_.size()) return false;
  const std::span<const uint8_t> head = area_.subspan(offset_);
  const uint32_t type = attribute::kType.Load(head);
  const uint32_t length = attribute::kLength.Load(head);
  if (type == 0 || type > kLastValidType || length < attribute::kHeaderBytes ||
      offset_ + length > area_.size()) {
    offset_ = area_.size();
    return false;
  }
  attribute->type = type;
  attribute->non_resident = attribute::kNonResident.Load(head) != 0;
  attribute->name_length = attribute::kNameLength.Load(head);
  attribute->bytes = area_.subspan(offset_, length);
  offset_ += length;
  return true;
}

bool ResidentValue(const Attribute& attribute, std::span<const uint8_t>* value) {
  const auto bytes = attribute.bytes;
  if (attribute.non_resident || bytes.size() < attribute::kResidentHeaderBytes) return false;
  const uint32_t length = attribute::kValueLength.Load(bytes);
  const uint16_t offset = attribute::kValueOffset.Load(bytes);
  if (offset > bytes.size() || length > bytes.size() - offset) return false;
  *value = bytes.subspan(offset, length);
  return true;
}

bool ReadNonResident(const Attribute& attribute, NonResidentInfo* info) {
  const auto bytes = attribute.bytes;
  if (!attribute.non_resident || bytes.size() < attribute::kNonResidentHeaderBytes) return false;
  const uint16_t runs = attribute::kRunListOffset.Load(bytes);
  if (runs > bytes.size()) return false;
  info->lowest_vcn = attribute::kLowestVcn.Load(bytes);
  info->real_size = attribute::kRealSize.Load(bytes);
  info->run_bytes = bytes.subspan(runs);
  return true;
}

}  // namespace vexlo::ntfs
