// The exFAT boot sector and the volume geometry derived from it.
//
// Every later read of an exFAT volume is addressed through this geometry, so
// it is validated once here; a boot sector whose fields cannot describe a
// volume is refused rather than allowed to send reads anywhere. Sector
// numbers are relative to the partition start, in the volume's sector size.
#pragma once

#include <cstdint>
#include <span>

#include "platform/error_code.h"

namespace vexlo::exfat {

// Bytes the engine reads from the partition start to parse the boot sector.
inline constexpr std::size_t kBootSectorReadBytes = 4096;
// The FAT is read through the FAT engine's window, whose entries keep 28
// bits; larger volumes are refused rather than followed along wrong chains.
inline constexpr uint32_t kMaxClusterCount = 0x0FFFFFF0;

struct ExFatGeometry {
  uint32_t bytes_per_sector = 512;
  uint32_t sectors_per_cluster = 1;
  uint32_t cluster_bytes = 512;
  uint64_t volume_sectors = 0;
  uint32_t fat_offset = 0;     // first sector of the first FAT
  uint32_t fat_length = 0;     // sectors of one FAT
  uint32_t heap_offset = 0;    // sector of cluster 2
  uint32_t cluster_count = 0;  // valid clusters are 2 .. cluster_count + 1
  uint32_t root_cluster = 0;

  bool IsValidCluster(uint64_t cluster) const {
    return cluster >= 2 && cluster <= uint64_t{cluster_count} + 1;
  }
  uint64_t ClusterSector(uint32_t cluster) const {
    return heap_offset + uint64_t{cluster - 2} * sectors_per_cluster;
  }
};

// Parses the boot sector at the start of `sector` (at least 512 bytes).
// Returns 1785 when the bytes cannot describe an exFAT volume.
ErrorCode ParseExFatBootSector(std::span<const uint8_t> sector, ExFatGeometry* geometry);

}  // namespace vexlo::exfat
