#include "storage/partition_lookup.h"

#include "platform/volume_info.h"

namespace vexlo {

std::optional<platform::PartitionInfo> FindPartitionAt(uint32_t disk_number, uint64_t first_sector,
                                                       uint32_t sector_bytes,
                                                       const platform::SysfsRoots& roots) {
  const auto disks = platform::ListWholeDisks(roots);
  if (disk_number >= disks.size()) return std::nullopt;
  for (const platform::PartitionInfo& partition : disks[disk_number].partitions) {
    if (partition.start_512 * 512 == first_sector * sector_bytes) return partition;
  }
  return std::nullopt;
}

uint64_t PartitionFreeBytes(uint32_t disk_number, uint64_t first_sector, uint32_t sector_bytes,
                            const platform::SysfsRoots& roots) {
  const auto partition = FindPartitionAt(disk_number, first_sector, sector_bytes, roots);
  if (!partition) return 0;
  for (const auto& mount :
       platform::MountPointsOf(partition->major, partition->minor, roots.mountinfo)) {
    uint64_t free_bytes = 0;
    if (platform::FreeBytesAt(mount, &free_bytes).ok()) return free_bytes;
  }
  return 0;
}

}  // namespace vexlo
