#include "filesystems/fat/fat_volume.h"

namespace vexlo::fat {

ErrorCode FatVolume::Read(uint64_t sector, uint64_t count, uint8_t* buffer,
                          uint64_t* sectors_read) {
  *sectors_read = 0;
  if (sector > partition_sectors || count > partition_sectors - sector) {
    return err::kInvalidParameter;
  }
  return ReadSectors(count, *disk, buffer, partition_start + sector, geometry.bytes_per_sector,
                     sectors_read);
}

}  // namespace vexlo::fat
