// Which clusters of a FAT volume are in use, and the runs of free clusters
// between them.
//
// The formatted-recovery driver walks only the free space of a volume whose
// file system still marks what is in use; this map answers its "next free
// run" questions without touching the disk again. One bit per cluster: a
// 32 GiB card of 32 KiB clusters needs 128 KiB.
#pragma once

#include <cstdint>
#include <vector>

#include "filesystems/fat/fat_boot_sector.h"
#include "filesystems/fat/fat_table.h"

namespace vexlo::fat {

class UsedClusterBitmap {
 public:
  // Marks every cluster whose FAT entry is not free, and every cluster that a
  // used entry names. A value outside the volume is ignored on its own.
  // Only the clusters within the first `volume_sectors` are looked at (and
  // kept): the map's size and the walk are bounded by the medium, not by what
  // a boot sector claims.
  void Build(FatTable& table, const FatGeometry& geometry, uint64_t volume_sectors);
  // Takes a map already in this layout (exFAT keeps its allocation bitmap so)
  // for `cluster_count` clusters; bytes missing at the end count as used, so
  // that nothing unknown is offered as free space.
  void Assign(std::vector<uint8_t> bits, uint32_t cluster_count);

  bool built() const { return built_; }
  bool IsUsed(uint32_t cluster) const;

  // From `*sector` (relative to the partition; 0 = the start of the data
  // area), the next run of free clusters: `*sector` becomes its start and
  // `*length_sectors` its length, clipped to `partition_sectors`. At or past
  // the partition's end, `*sector` becomes the end and the length 0.
  void NextFreeRange(const FatGeometry& geometry, uint64_t partition_sectors, uint64_t* sector,
                     uint64_t* length_sectors) const;

 private:
  void Set(uint32_t cluster);

  std::vector<uint8_t> bits_;  // bit k of byte j: cluster 2 + 8j + k
  uint32_t cluster_count_ = 0;
  bool built_ = false;
};

}  // namespace vexlo::fat
