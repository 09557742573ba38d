#include "recovery/sector_router.h"

#include <span>

#include "ondisk/fat_directory_sector.h"
#include "ondisk/ntfs_file_record.h"

namespace vexlo {
namespace {

// Only a FILE record begins with 'F' and only a directory start with '.':
// most sectors are spared both tests.
bool IsFileRecordStart(std::span<const uint8_t> bytes, uint32_t sector_bytes) {
  return !bytes.empty() && bytes[0] == 'F' && ntfs::IsFileRecordSector(bytes, sector_bytes);
}

bool IsFolderStart(const uint8_t* sector, std::size_t sector_bytes) {
  return sector_bytes > 0 && sector[0] == '.' && fat::IsDirectoryStartSector(sector, sector_bytes);
}

}  // namespace

SectorRoute RouteSector(const uint8_t* sector, uint32_t sector_bytes) {
  const std::span<const uint8_t> bytes(sector, sector_bytes);
  if (IsFileRecordStart(bytes, sector_bytes)) {
    return ntfs::IsDirectoryRecord(bytes) ? SectorRoute::kNtfsFolderRecord
                                          : SectorRoute::kNtfsFileRecord;
  }
  if (IsFolderStart(sector, sector_bytes)) return SectorRoute::kFatDirectoryStart;
  if (fat::IsFatDirectorySector(sector, sector_bytes)) return SectorRoute::kFatDirectoryData;
  return SectorRoute::kCarve;
}

bool RoutedAwayFromCarvingUnlessMetadata(const uint8_t* sector, std::size_t sector_bytes) {
  return IsFolderStart(sector, sector_bytes);
}

}  // namespace vexlo
