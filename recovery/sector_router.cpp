#include "recovery/sector_router.h"

#include <cstring>

#include "filesystems/fat/fat_directory_sector.h"
#include "filesystems/fat/fat_directory_start.h"

namespace vexlo {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

constexpr uint16_t kFileRecordDirectoryFlag = 0x0002;

}  // namespace

bool IsNtfsFileRecordStart(const uint8_t* sector, uint32_t sector_bytes, uint32_t record_bytes) {
  if (sector_bytes < 512 || std::memcmp(sector, "FILE", 4) != 0) return false;
  return Le32(sector + 24) <= record_bytes && Le32(sector + 28) == record_bytes &&
         Le16(sector + 48) == Le16(sector + 510);
}

SectorRoute RouteSector(const uint8_t* sector, uint32_t sector_bytes) {
  if (IsNtfsFileRecordStart(sector, sector_bytes, FileRecordBytes(sector_bytes))) {
    return (Le16(sector + 22) & kFileRecordDirectoryFlag) != 0 ? SectorRoute::kNtfsFolderRecord
                                                                 : SectorRoute::kNtfsFileRecord;
  }
  if (fat::IsFatDirectoryStart(sector, sector_bytes)) return SectorRoute::kFatDirectoryStart;
  if (fat::IsFatDirectorySector(sector, sector_bytes)) return SectorRoute::kFatDirectoryData;
  return SectorRoute::kCarve;
}

}  // namespace vexlo
