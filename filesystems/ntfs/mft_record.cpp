#include "filesystems/ntfs/mft_record.h"

#include <cstring>

#include "filesystems/ntfs/ntfs_bytes.h"

namespace vexlo::ntfs {
namespace {

constexpr std::size_t kUsaOffsetField = 4;
constexpr std::size_t kUsaCountField = 6;
constexpr std::size_t kFirstAttributeField = 20;
constexpr std::size_t kFlagsField = 22;
constexpr std::size_t kBytesInUseField = 24;
constexpr std::size_t kBaseRecordField = 32;
constexpr std::size_t kRecordNumberField = 44;
// Where the update-sequence array starts in records that carry their number.
constexpr uint16_t kUsaOffsetWithNumber = 48;
constexpr std::size_t kMinHeaderBytes = 48;

constexpr std::size_t kAttrLengthField = 4;
constexpr std::size_t kAttrNonResidentField = 8;
constexpr std::size_t kAttrNameLengthField = 9;
constexpr std::size_t kAttrHeaderBytes = 16;
constexpr std::size_t kValueLengthField = 16;
constexpr std::size_t kValueOffsetField = 20;
constexpr std::size_t kResidentHeaderBytes = 24;
constexpr std::size_t kLowestVcnField = 16;
constexpr std::size_t kRunListOffsetField = 32;
constexpr std::size_t kRealSizeField = 48;
constexpr std::size_t kNonResidentHeaderBytes = 64;

constexpr uint32_t kLastValidType = 0xFDFDFDFC;

}  // namespace

bool HasFileSignature(std::span<const uint8_t> record) {
  return record.size() >= 4 && std::memcmp(record.data(), "FILE", 4) == 0;
}

bool ApplyFixup(std::span<uint8_t> record) {
  if (record.size() < kMinHeaderBytes || record.size() % kFixupStride != 0) return false;
  const uint16_t usa_offset = Le16(&record[kUsaOffsetField]);
  const uint16_t usa_count = Le16(&record[kUsaCountField]);
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
  if (record.size() < kMinHeaderBytes || !HasFileSignature(record)) return false;
  header->flags = Le16(&record[kFlagsField]);
  header->first_attribute = Le16(&record[kFirstAttributeField]);
  header->bytes_in_use = Le32(&record[kBytesInUseField]);
  header->base_record = Le64(&record[kBaseRecordField]) & 0x0000FFFFFFFFFFFFull;
  header->has_number = Le16(&record[kUsaOffsetField]) >= kUsaOffsetWithNumber;
  header->number = header->has_number ? Le32(&record[kRecordNumberField]) : 0;
  if (header->bytes_in_use > record.size()) return false;
  return header->first_attribute >= kMinHeaderBytes - 6 &&
         header->first_attribute < header->bytes_in_use;
}

AttributeWalker::AttributeWalker(std::span<const uint8_t> record, const RecordHeader& header)
    : area_(record.first(header.bytes_in_use)), offset_(header.first_attribute) {}

bool AttributeWalker::Next(Attribute* attribute) {
  if (offset_ + kAttrHeaderBytes > area_.size()) return false;
  const uint8_t* head = &area_[offset_];
  const uint32_t type = Le32(head);
  const uint32_t length = Le16(head + kAttrLengthField);
  if (type == 0 || type > kLastValidType || length < kAttrHeaderBytes ||
      offset_ + length > area_.size()) {
    offset_ = area_.size();
    return false;
  }
  attribute->type = type;
  attribute->non_resident = head[kAttrNonResidentField] != 0;
  attribute->name_length = head[kAttrNameLengthField];
  attribute->bytes = area_.subspan(offset_, length);
  offset_ += length;
  return true;
}

bool ResidentValue(const Attribute& attribute, std::span<const uint8_t>* value) {
  const auto bytes = attribute.bytes;
  if (attribute.non_resident || bytes.size() < kResidentHeaderBytes) return false;
  const uint32_t length = Le32(&bytes[kValueLengthField]);
  const uint16_t offset = Le16(&bytes[kValueOffsetField]);
  if (offset > bytes.size() || length > bytes.size() - offset) return false;
  *value = bytes.subspan(offset, length);
  return true;
}

bool ReadNonResident(const Attribute& attribute, NonResidentInfo* info) {
  const auto bytes = attribute.bytes;
  if (!attribute.non_resident || bytes.size() < kNonResidentHeaderBytes) return false;
  const uint16_t runs = Le16(&bytes[kRunListOffsetField]);
  if (runs > bytes.size()) return false;
  info->lowest_vcn = Le64(&bytes[kLowestVcnField]);
  info->real_size = Le64(&bytes[kRealSizeField]);
  info->run_bytes = bytes.subspan(runs);
  return true;
}

}  // namespace vexlo::ntfs
