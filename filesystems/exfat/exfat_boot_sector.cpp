#include "filesystems/exfat/exfat_boot_sector.h"

#include "ondisk/boot_sector_layouts.h"
#include "storage/fs_detection.h"

namespace vexlo::exfat {

ErrorCode ParseExFatBootSector(std::span<const uint8_t> b, ExFatGeometry* g) {
  if (!IsExFatBootSector(b)) return err::kUnrecognizedMedia;
  ExFatGeometry out;
  out.bytes_per_sector = 1u << boot::kBytesPerSectorShift.Load(b);
  out.sectors_per_cluster = 1u << boot::kSectorsPerClusterShift.Load(b);
  out.cluster_bytes = out.bytes_per_sector * out.sectors_per_cluster;
  out.volume_sectors = boot::kVolumeLength.Load(b);
  out.fat_offset = boot::kFatOffset.Load(b);
  out.fat_length = boot::kFatLength.Load(b);
  out.heap_offset = boot::kClusterHeapOffset.Load(b);
  out.cluster_count = boot::kClusterCount.Load(b);
  out.root_cluster = boot::kRootCluster.Load(b);
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
