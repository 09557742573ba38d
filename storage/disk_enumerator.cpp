#include "storage/disk_enumerator.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/sector_source.h"
#include "platform/udisks.h"
#include "platform/volume_info.h"

namespace vexlo {
namespace {

// How the free-area rule sees a disk.
struct DiskShape {
  uint32_t sector_bytes = 512;
  uint64_t cylinder_sectors = kDefaultCylinderSectors;
  uint64_t first_expected_sector = kDefaultFirstSector;
  uint64_t disk_sectors = 0;
  ErrorCode access_error;
};

// A stretch of a disk that belongs to some partition, listed or not.
struct Extent {
  uint64_t start = 0;
  uint64_t length = 0;
};

DiskShape ReadDiskShape(const platform::DiskInfo& disk) {
  DiskShape shape;
  shape.sector_bytes = disk.logical_block_size;
  std::unique_ptr<platform::SectorSource> source;
  platform::DeviceGeometry geometry;
  if (ErrorCode rc = platform::OpenSource(disk.dev_path, &source); !rc.ok()) {
    shape.access_error = rc;
  } else if (source->Geometry(&geometry).ok() && geometry.valid && geometry.bytes_per_sector != 0) {
    shape.sector_bytes = geometry.bytes_per_sector;
    const uint64_t per_cylinder =
        uint64_t{geometry.tracks_per_cylinder} * geometry.sectors_per_track;
    // A driver without head and track counts is described as 1 x 1 (or not
    // at all); a one-sector cylinder would turn every alignment gap into a
    // "free area", so such disks get the classic cylinder instead.
    if (per_cylinder > 1) {
      shape.cylinder_sectors = per_cylinder;
      shape.first_expected_sector = geometry.sectors_per_track;
      shape.disk_sectors = geometry.cylinders * per_cylinder;
      return shape;
    }
    uint64_t length = 0;
    if (source->LengthBytes(&length).ok()) {
      shape.disk_sectors = length / shape.sector_bytes;
      return shape;
    }
  }
  shape.disk_sectors = disk.size_512 * 512 / shape.sector_bytes;
  return shape;
}

uint8_t TypeForFileSystem(const std::string& file_system, uint8_t table_type) {
  if (file_system == "NTFS") return kPartitionTypeNtfs;
  if (file_system == "FAT32") return kPartitionTypeFat32;
  if (file_system == "FAT") return kPartitionTypeFat;
  if (file_system == "exFAT") return kPartitionTypeExFat;
  return table_type;
}

// File system, label, mount points and sizes of a volume device.
void DescribeVolume(const std::filesystem::path& device, uint32_t major, uint32_t minor,
                    const std::filesystem::path& mountinfo, PartitionRecord* record) {
  platform::FileSystemProbe probe;
  if (ErrorCode rc = platform::ProbeFileSystem(device, &probe); !rc.ok()) {
    record->access_error = rc;
  } else {
    record->file_system = platform::FileSystemDisplayName(probe);
    record->label = probe.label;
  }
  record->partition_type = TypeForFileSystem(record->file_system, record->partition_type);
  record->mount_points = platform::MountPointsOf(major, minor, mountinfo);
  const uint64_t length_bytes = record->length * record->sector_bytes;
  uint64_t total = 0;
  uint64_t free = 0;
  if (record->mount_points.empty() ||
      !platform::VolumeSizesAt(record->mount_points.front(), &total, &free).ok()) {
    total = length_bytes;
    free = 0;
  }
  record->total_bytes = total;
  record->free_bytes = std::min(free, total);
  record->used_bytes = record->total_bytes - record->free_bytes;
}

PartitionRecord DiskEntry(EntryKind kind, int32_t disk_number, const platform::DiskInfo& disk,
                          const DiskShape& shape, uint64_t start, uint64_t length) {
  PartitionRecord record;
  record.kind = kind;
  record.disk_number = disk_number;
  record.partition_number = 0;
  record.start = start;
  record.length = length;
  record.sector_bytes = shape.sector_bytes;
  record.total_bytes = length * shape.sector_bytes;
  record.free_bytes = record.total_bytes;
  record.disk_path = disk.dev_path;
  record.removable = disk.removable || disk.usb_or_sd;
  record.usb = disk.usb;
  record.disk_model = disk.vendor.empty() || disk.model.empty() ? disk.vendor + disk.model
                                                                : disk.vendor + " " + disk.model;
  record.disk_bytes = disk.size_512 * 512;
  record.access_error = shape.access_error;
  record.disk_access_error = shape.access_error;
  return record;
}

// The volumes of one disk, and the stretches of every partition, listed or
// not, for the free-area rule.
void CollectVolumes(int32_t disk_number, const platform::DiskInfo& disk, const DiskShape& shape,
                    const std::filesystem::path& mountinfo, std::vector<PartitionRecord>* volumes,
                    std::vector<Extent>* taken) {
  platform::PartitionTableProbe table;
  const ErrorCode table_rc = platform::ProbePartitionTable(disk.dev_path, &table);
  const auto to_sectors = [&](uint64_t units_512) { return units_512 * 512 / shape.sector_bytes; };

  for (const platform::PartitionInfo& part : disk.partitions) {
    const auto entry = std::find_if(
        table.entries.begin(), table.entries.end(),
        [&](const platform::PartitionTableEntry& e) { return e.number == part.number; });
    const bool in_table = entry != table.entries.end();
    // An extended container only holds the logical volumes, which sysfs lists
    // on their own.
    if (in_table && entry->extended) continue;
    PartitionRecord record = DiskEntry(EntryKind::kVolume, disk_number, disk, shape,
                                       to_sectors(part.start_512), to_sectors(part.size_512));
    record.partition_number = static_cast<int32_t>(part.number);
    record.partition_type = in_table ? entry->mbr_type : 0;
    record.root_path = part.dev_path;
    record.access_error = 0;
    DescribeVolume(part.dev_path, part.major, part.minor, mountinfo, &record);
    taken->push_back({record.start, record.length});
    // Without access the type cannot be known; listing the volume lets the
    // user see it and be told why it cannot be read.
    const bool type_unknown = !table_rc.ok() || record.access_error != 0;
    if (record.partition_type != 0 || type_unknown) volumes->push_back(std::move(record));
  }

  // A card formatted without a partition table: the disk itself is the
  // volume. libblkid takes the boot sector of an exFAT volume for an empty
  // MBR (they share the signature bytes), so a table that lists nothing
  // counts as none.
  if (disk.partitions.empty() && table_rc.ok() && table.entries.empty()) {
    PartitionRecord record =
        DiskEntry(EntryKind::kVolume, disk_number, disk, shape, 0, shape.disk_sectors);
    record.root_path = disk.dev_path;
    record.access_error = 0;
    DescribeVolume(disk.dev_path, disk.major, disk.minor, mountinfo, &record);
    if (record.partition_type != 0) {
      taken->push_back({0, record.length});
      volumes->push_back(std::move(record));
    }
  }
}

void AddFreeAreas(int32_t disk_number, const platform::DiskInfo& disk, const DiskShape& shape,
                  std::vector<Extent> taken, std::vector<PartitionRecord>* entries) {
  std::sort(taken.begin(), taken.end(),
            [](const Extent& a, const Extent& b) { return a.start < b.start; });
  uint64_t previous_end = shape.first_expected_sector;
  const auto add_gap = [&](uint64_t gap_end) {
    if (gap_end > previous_end && gap_end - previous_end > shape.cylinder_sectors) {
      entries->push_back(DiskEntry(EntryKind::kFreeArea, disk_number, disk, shape, previous_end,
                                   gap_end - previous_end));
    }
  };
  for (const Extent& extent : taken) {
    add_gap(extent.start);
    previous_end = std::max(previous_end, extent.start + extent.length);
  }
  add_gap(shape.disk_sectors);
}

}  // namespace

DiskEnumerator::DiskEnumerator(platform::SysfsRoots roots)
    : roots_(std::move(roots)), disk_cursor_(disks_.end()) {}

bool DiskEnumerator::BuildDiskList() {
  disks_.clear();
  disk_cursor_ = disks_.end();
  entry_cursor_ = 0;
  std::error_code ec;
  if (!std::filesystem::is_directory(roots_.sys_block, ec)) return false;

  const std::vector<platform::DiskInfo> table = platform::ListWholeDisks(roots_);
  const platform::NoPasswordPrompts listing_only;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const platform::DiskInfo& disk = table[i];
    // A card reader without a card has no medium to list.
    if (disk.size_512 == 0) continue;
    const auto disk_number = static_cast<int32_t>(i);
    const DiskShape shape = ReadDiskShape(disk);
    sector_bytes_ = shape.sector_bytes;

    std::vector<PartitionRecord> entries;
    std::vector<Extent> taken;
    CollectVolumes(disk_number, disk, shape, roots_.mountinfo, &entries, &taken);
    if (entries.empty()) {
      entries.push_back(
          DiskEntry(EntryKind::kWholeDisk, disk_number, disk, shape, 0, shape.disk_sectors));
    } else {
      AddFreeAreas(disk_number, disk, shape, std::move(taken), &entries);
    }
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const PartitionRecord& a, const PartitionRecord& b) { return a.start < b.start; });
    disks_.emplace(disk_number, std::move(entries));
  }

  uint16_t position = 1;
  for (auto& [number, entries] : disks_) {
    for (PartitionRecord& entry : entries) entry.id = position++;
  }
  disk_cursor_ = disks_.begin();
  return true;
}

bool DiskEnumerator::NextEntry(PartitionRecord* entry) {
  while (disk_cursor_ != disks_.end()) {
    if (entry_cursor_ < disk_cursor_->second.size()) {
      *entry = disk_cursor_->second[entry_cursor_++];
      return true;
    }
    ++disk_cursor_;
    entry_cursor_ = 0;
  }
  return false;
}

void DiskEnumerator::CollectEntries(std::vector<PartitionRecord>* entries) const {
  entries->clear();
  for (const auto& [number, disk_entries] : disks_) {
    entries->insert(entries->end(), disk_entries.begin(), disk_entries.end());
  }
}

bool DiskEnumerator::FindVanishedEntries(const std::vector<PartitionRecord>& old_entries,
                                         std::vector<PartitionRecord>* vanished) {
  vanished->clear();
  const bool built = BuildDiskList();
  for (const PartitionRecord& old_entry : old_entries) {
    const auto disk = disks_.find(old_entry.disk_number);
    const bool present =
        disk != disks_.end() &&
        std::any_of(disk->second.begin(), disk->second.end(),
                    [&](const PartitionRecord& e) { return e.start == old_entry.start; });
    if (!present) vanished->push_back(old_entry);
  }
  return built;
}

}  // namespace vexlo
