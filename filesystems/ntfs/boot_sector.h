// The NTFS boot sector: the geometry every later read of a volume depends on.
#pragma once

#include <cstdint>
#include <span>

namespace vexlo::ntfs {

struct NtfsGeometry {
  uint32_t sector_bytes = 512;
  uint32_t sectors_per_cluster = 1;
  uint32_t cluster_bytes = 512;
  // Size of one MFT record; a multiple of 512 (the update-sequence stride).
  uint32_t record_bytes = 1024;
  uint64_t mft_first_cluster = 0;
  // Sectors of the volume as the boot sector counts them (0 when unknown).
  uint64_t total_sectors = 0;
};

// Reads the geometry from the first 512 bytes of a volume. Returns false when
// the values cannot describe a volume (sector size not a power of two from
// 256 to 4,096, clusters larger than 2 MiB, no MFT cluster); nothing later
// could be read sensibly then.
//
// Bytes per sector 0 is taken as 512. A negative sectors-per-cluster byte
// encodes 2^-n sectors (clusters above 64 KiB). The record size comes from the
// boot sector's own field (positive: clusters, negative: 2^-n bytes) when it
// is a plausible power of two; otherwise it is 1,024 bytes on 512-byte
// sectors and one sector elsewhere.
bool ParseBootSector(std::span<const uint8_t> sector, NtfsGeometry* geometry);

}  // namespace vexlo::ntfs
