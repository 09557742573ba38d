#include "filesystems/ntfs/file_record_sector.h"

#include "filesystems/ntfs/mft_record.h"
#include "filesystems/ntfs/ntfs_bytes.h"

namespace vexlo::ntfs {
namespace {

constexpr std::size_t kFlagsField = 22;
constexpr std::size_t kBytesInUseField = 24;
constexpr std::size_t kAllocatedField = 28;
constexpr std::size_t kSequenceNumberField = 48;

}  // namespace

bool IsFileRecordSector(std::span<const uint8_t> sector, uint32_t sector_bytes) {
  if (sector_bytes < 64 || sector.size() < sector_bytes || !HasFileSignature(sector)) return false;
  const uint32_t record_bytes = FileRecordBytes(sector_bytes);
  return Le32(&sector[kBytesInUseField]) <= record_bytes &&
         Le32(&sector[kAllocatedField]) == record_bytes &&
         Le16(&sector[kSequenceNumberField]) == Le16(&sector[sector_bytes - 2]);
}

bool IsDirectoryRecord(std::span<const uint8_t> sector) {
  return sector.size() > kFlagsField + 1 && (Le16(&sector[kFlagsField]) & kRecordDirectory) != 0;
}

}  // namespace vexlo::ntfs
