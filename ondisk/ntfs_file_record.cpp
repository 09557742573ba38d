#include "ondisk/ntfs_file_record.h"

namespace vexlo::ntfs {

bool HasFileSignature(std::span<const uint8_t> bytes) {
  return record::kSignature.Holds(bytes, "FILE");
}

bool IsFileRecordSector(std::span<const uint8_t> sector, uint32_t sector_bytes) {
  if (sector_bytes < 64 || sector.size() < sector_bytes || !HasFileSignature(sector)) return false;
  const uint32_t record_bytes = FileRecordBytes(sector_bytes);
  return record::kBytesInUse.Load(sector) <= record_bytes &&
         record::kBytesAllocated.Load(sector) == record_bytes &&
         record::kSequenceNumber.Load(sector) == LoadLe16(sector, sector_bytes - 2);
}

bool IsDirectoryRecord(std::span<const uint8_t> sector) {
  return sector.size() >= record::kFlags.end() &&
         (record::kFlags.Load(sector) & kRecordDirectory) != 0;
}

}  // namespace vexlo::ntfs
