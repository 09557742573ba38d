#include "filesystems/exfat/exfat_boot_sector.h"

#include "filesystems/fat/fat_bytes.h"
#include "storage/fs_detection.h"

namespace vexlo::exfat {

ErrorCode ParseExFatBootSector(std::span<const uint8_t> b, ExFatGeometry* g) {
  if (!IsExFatBootSector(b)) return err::kUnrecognizedMedia;
  ExFatGeometry out;
  out.bytes_per_sector = 1u << b[108];
  out.sectors_per_cluster = 1u << b[109];
  out.cluster_bytes = out.bytes_per_sector * out.sectors_per_cluster;
  out.volume_sectors = uint64_t{fat::Le32(&b[72])} | (uint64_t{fat::Le32(&b[76])} << 32);
  out.fat_offset = fat::Le32(&b[80]);
  out.fat_length = fat::Le32(&b[84]);
  out.heap_offset = fat::Le32(&b[88]);
  out.cluster_count = fat::Le32(&b[92]);
  out.root_cluster = fat::Le32(&b[96]);
  // The heap must fit the volume, and the FAT must hold an entry per cluster.
  const uint64_t heap_sectors = uint64_t{out.cluster_count} * out.sectors_per_cluster;
  const uint64_t fat_entries = uint64_t{out.fat_length} * out.bytes_per_sector / 4;
  if (out.cluster_count == 0 || out.cluster_count > kMaxClusterCount ||
      out.heap_offset + heap_sectors > out.volume_sectors ||
      fat_entries < uint64_t{out.cluster_count} + 2 || !out.IsValidCluster(out.root_cluster)) {
    return err::kUnrecognizedMedia;
  }
  *g = out;
  return err::kSuccess;
}

}  // namespace vexlo::exfat
