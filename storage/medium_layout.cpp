#include "storage/medium_layout.h"

#include <algorithm>

#include "platform/volume_info.h"
#include "storage/sector_io.h"

namespace vexlo {
namespace {

// Fills `layout` for the medium at `path` once it is open as `disk`.
ErrorCode ReadLayout(const std::filesystem::path& path, const DiskHandle& disk,
                     uint32_t sector_bytes, MediumLayout* layout) {
  *layout = MediumLayout{};
  layout->sector_bytes = sector_bytes;
  layout->total_sectors = disk.total_sectors;
  platform::PartitionTableProbe table;
  if (ErrorCode rc = platform::ProbePartitionTable(path, &table); !rc.ok()) return rc;
  // libblkid takes the boot sector of an exFAT volume for an empty MBR (they
  // share the signature bytes): a table that lists nothing is none.
  if (!table.entries.empty()) layout->table_type = table.table_type;
  const uint64_t medium_bytes = disk.total_sectors * sector_bytes;
  for (const platform::PartitionTableEntry& entry : table.entries) {
    const uint64_t start_bytes = entry.start_512 * 512;
    if (entry.extended || entry.size_512 == 0 || start_bytes >= medium_bytes) continue;
    MediumPartition partition;
    partition.number = entry.number;
    partition.first_sector = start_bytes / sector_bytes;
    partition.sector_count =
        std::min(entry.size_512 * 512, medium_bytes - start_bytes) / sector_bytes;
    partition.mbr_type = entry.mbr_type;
    layout->partitions.push_back(partition);
  }
  if (layout->partitions.empty()) layout->partitions.push_back(layout->WholeMedium());
  std::sort(layout->partitions.begin(), layout->partitions.end(),
            [](const MediumPartition& a, const MediumPartition& b) {
              return a.first_sector < b.first_sector;
            });
  for (MediumPartition& partition : layout->partitions) {
    platform::FileSystemProbe probe;
    if (platform::ProbeFileSystem(path, &probe, partition.first_sector * sector_bytes,
                                  partition.sector_count * sector_bytes)
            .ok()) {
      partition.file_system = platform::FileSystemDisplayName(probe);
      partition.label = probe.label;
    }
  }
  return err::kSuccess;
}

}  // namespace

std::optional<MediumPartition> MediumLayout::Find(uint32_t number) const {
  const auto found =
      std::find_if(partitions.begin(), partitions.end(),
                   [number](const MediumPartition& p) { return p.number == number; });
  if (found != partitions.end()) return *found;
  if (number == kWholeMedium) return WholeMedium();
  return std::nullopt;
}

MediumPartition MediumLayout::WholeMedium() const {
  MediumPartition whole;
  whole.number = kWholeMedium;
  whole.sector_count = total_sectors;
  return whole;
}

ErrorCode ReadImageLayout(const std::filesystem::path& image, MediumLayout* layout) {
  DiskHandle disk;
  if (ErrorCode rc = OpenImageFile(image, &disk); !rc.ok()) return rc;
  return ReadLayout(image, disk, 512, layout);
}

ErrorCode ReadDiskLayout(uint32_t disk_number, MediumLayout* layout,
                         const platform::SysfsRoots& roots) {
  const std::filesystem::path device = platform::DiskDevicePath(disk_number, roots);
  if (device.empty()) return err::kFileNotFound;
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk, roots); !rc.ok()) return rc;
  return ReadLayout(device, disk, disk.device_sector_bytes, layout);
}

}  // namespace vexlo
