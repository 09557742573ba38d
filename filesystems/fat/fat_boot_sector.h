// The FAT boot sector (BIOS parameter block) and the volume geometry derived
// from it.
//
// Every later read of a FAT volume is addressed through this geometry, so it
// is validated here once: a boot sector whose fields cannot describe a volume
// is refused rather than allowed to send reads to arbitrary places.
//
// All sector numbers are relative to the partition start and counted in the
// volume's own sector size (bytes_per_sector).
#pragma once

#include <cstdint>
#include <span>

#include "platform/error_code.h"

namespace vexlo::fat {

enum class FatType { kFat12, kFat16, kFat32 };

// Bytes the engine reads from the partition start to parse the boot sector.
inline constexpr std::size_t kBootSectorReadBytes = 4096;

// Sectors the root directory is given when its entry count is missing or
// cannot be right: the size of the usual 512-entry root on 512-byte sectors.
inline constexpr uint32_t kFallbackRootSectors = 32;

struct FatGeometry {
  FatType type = FatType::kFat16;
  uint32_t bytes_per_sector = 512;
  uint32_t sectors_per_cluster = 1;
  uint32_t cluster_bytes = 512;
  uint32_t reserved_sectors = 0;  // the first FAT starts here
  uint32_t fat_count = 0;
  uint32_t sectors_per_fat = 0;
  uint64_t total_sectors = 0;  // of the volume, from the 32-bit field or else the 16-bit one
  uint32_t root_sectors = 0;   // FAT12/16: the fixed root directory; 0 on FAT32
  uint32_t root_cluster = 0;   // FAT32: the root's first cluster; 0 (the fixed root) otherwise
  uint64_t data_start = 0;     // sector of cluster 2
  uint32_t cluster_count = 0;  // data clusters; valid cluster numbers are 2 .. cluster_count + 1

  bool is_fat32() const { return type == FatType::kFat32; }
  uint32_t max_cluster() const { return cluster_count + 1; }
  bool IsValidCluster(uint64_t cluster) const { return cluster >= 2 && cluster <= max_cluster(); }
  // First sector of the fixed FAT12/16 root directory.
  uint64_t root_start() const { return data_start - root_sectors; }
  // Sector of cluster n >= 2, relative to the partition start.
  uint64_t ClusterSector(uint32_t cluster) const {
    return data_start + uint64_t{cluster - 2} * sectors_per_cluster;
  }
  // Clusters whose sectors all lie in the first `volume_sectors` of the
  // volume. A boot sector may claim far more than its medium holds; walks
  // over every cluster stop at this bound.
  uint32_t ClustersWithin(uint64_t volume_sectors) const;
  // Bits of one FAT entry: 12, 16 or 32 (of which 28 are used).
  uint32_t fat_entry_bits() const;
  uint32_t EndMarkMin() const;
};

// Parses the boot sector at the start of `sector` (at least 512 bytes).
// Returns 1785 when the bytes cannot describe a
// FAT volume (sector size not a power of two from 512 to 4096, cluster size
// not a power of two, no FAT, a layout that does not fit).
ErrorCode ParseFatBootSector(std::span<const uint8_t> sector, FatGeometry* geometry);

}  // namespace vexlo::fat
