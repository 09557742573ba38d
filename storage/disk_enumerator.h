// The disk list: every whole disk of the disk table with its volumes, the
// unallocated stretches between them, and disks that hold no volume at all.
//
// Where the entries come from:
//   - volumes: the partitions sysfs lists for each disk, described by
//     libblkid (file system, label; the table's type byte from a probe of the
//     whole disk), mountinfo (mount points) and statvfs (sizes when mounted);
//     a disk without a partition table whose whole surface carries a known
//     file system counts as one volume at sector 0;
//   - free areas: gaps of more than one cylinder before, between and after
//     the volumes of a disk;
//   - whole disks: a disk with a medium but no volume is one entry.
// A volume is kept when its type byte (after the file-system override, which
// libblkid's file-system type decides for NTFS, FAT and exFAT) is nonzero;
// one that is known to have none (a GPT partition of an unknown file system)
// is left out, but its sectors are still taken, never shown as free.
// A device the user may not read is still listed from sysfs, with the code in
// `access_error`, so that the front ends can say why it cannot be scanned.
//
// Entries are numbered by their 1-based position in the whole list, disk by
// disk in disk-number order and by first sector within a disk.
//
// Roots of sysfs, /dev and mountinfo are parameters so that tests run on
// fabricated trees. An enumerator is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/disk_table.h"
#include "storage/partition_record.h"

namespace vexlo {

// Cylinder assumed for a disk whose driver reports no head and track counts:
// the classic 255 heads x 63 sectors, starting after one track.
inline constexpr uint64_t kDefaultCylinderSectors = 255 * 63;
inline constexpr uint64_t kDefaultFirstSector = 63;

class DiskEnumerator {
 public:
  explicit DiskEnumerator(platform::SysfsRoots roots = {});

  // Rebuilds the list. False when the disk table itself cannot be read (no
  // sysfs); the list is then empty. Restarts the NextEntry iteration.
  bool BuildDiskList();

  // The next entry (a copy), disk by disk and in list order within a disk;
  // false at the end.
  bool NextEntry(PartitionRecord* entry);

  // Empties `entries`, then appends every entry in list order.
  void CollectEntries(std::vector<PartitionRecord>* entries) const;

  // Rebuilds the list and gives the entries of `old_entries` that no new
  // entry matches by disk number and first sector (a card was pulled).
  // Returns what BuildDiskList returned.
  bool FindVanishedEntries(const std::vector<PartitionRecord>& old_entries,
                           std::vector<PartitionRecord>* vanished);

  // Sector size of the disk handled last by BuildDiskList.
  uint32_t sector_bytes() const { return sector_bytes_; }

 private:
  using DiskMap = std::map<int32_t, std::vector<PartitionRecord>>;

  platform::SysfsRoots roots_;
  DiskMap disks_;
  uint32_t sector_bytes_ = 512;
  DiskMap::const_iterator disk_cursor_;
  std::size_t entry_cursor_ = 0;
};

}  // namespace vexlo
