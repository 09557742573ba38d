#include "recovery/sector_router.h"

#include <span>

#include "filesystems/fat/directory_geometry.h"
#include "filesystems/fat/fat_directory_sector.h"
#include "filesystems/ntfs/file_record_sector.h"

namespace vexlo {

SectorRoute RouteSector(const uint8_t* sector, uint32_t sector_bytes) {
  const std::span<const uint8_t> bytes(sector, sector_bytes);
  if (ntfs::IsFileRecordSector(bytes, sector_bytes)) {
    return ntfs::IsDirectoryRecord(bytes) ? SectorRoute::kNtfsFolderRecord
                                          : SectorRoute::kNtfsFileRecord;
  }
  if (fat::IsDirectoryStartSector(sector, sector_bytes)) return SectorRoute::kFatDirectoryStart;
  if (fat::IsFatDirectorySector(sector, sector_bytes)) return SectorRoute::kFatDirectoryData;
  return SectorRoute::kCarve;
}

bool RoutedAwayFromCarving(const uint8_t* sector, std::size_t sector_bytes) {
  return RouteSector(sector, static_cast<uint32_t>(sector_bytes)) != SectorRoute::kCarve;
}

}  // namespace vexlo
