// Where the clusters of a FAT volume lie when neither its boot sector nor its
// FAT can be trusted: a cluster layout worked out from the positions at which
// directories were found (ondisk/fat_directory_sector.h recognises the first
// sector of a directory).
//
// Every directory begins with a "." entry naming its own first cluster, so
// two directories found at two sectors give the distance between clusters,
// and with it the whole layout. All sector numbers here are absolute sectors
// of the medium, counted in the medium's sector size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vexlo::fat {

// Clusters a FAT volume can number (28 bits, less the reserved marks).
inline constexpr uint32_t kMaxFatCluster = 0x0FFFFFF6;
// Sectors the fixed FAT12/16 root directory is taken to fill, just before
// cluster 2; it is addressed as cluster 0.
inline constexpr uint32_t kFixedRootSectors = 32;

// The cluster layout of one volume.
struct DirectoryGeometry {
  uint32_t sectors_per_cluster = 1;  // a power of two from 1 to 128
  uint64_t first_data_sector = 0;    // sector of cluster 2, relative to partition_start
  uint64_t partition_start = 0;      // absolute
  // Cluster numbers above 16 bits were seen: deleted entries may then have
  // lost the high half of their cluster.
  bool fat32 = false;

  // Absolute sector where `cluster` begins: cluster 0 is the fixed root;
  // nothing for cluster 1, cluster numbers FAT cannot hold, or a root that
  // would begin before the partition.
  std::optional<uint64_t> SectorOf(uint32_t cluster) const;
  // Sectors of the directory data that begins at `cluster`.
  uint32_t SectorsOf(uint32_t cluster) const {
    return cluster == 0 ? kFixedRootSectors : sectors_per_cluster;
  }
  // The cluster that begins exactly at `sector` (the fixed root's first
  // sector counts as cluster 0).
  std::optional<uint32_t> ClusterStartingAt(uint64_t sector) const;
  // The cluster that holds `sector`, the fixed root included.
  std::optional<uint32_t> ClusterHolding(uint64_t sector) const;

  bool operator==(const DirectoryGeometry&) const = default;
};

// One directory start: the cluster its "." entry names, where it was found.
struct DirectoryPosition {
  uint32_t cluster = 0;
  uint64_t sector = 0;
};

// The layout two directory starts imply, if any: the clusters differ, the
// sector distance is an exact multiple of 1, 2, 4 ... 128 sectors per
// cluster difference, and cluster 2 does not fall before `partition_start`.
std::optional<DirectoryGeometry> GeometryFromPair(const DirectoryPosition& a,
                                                  const DirectoryPosition& b,
                                                  uint64_t partition_start);

// The cluster a "." or ".." entry names (both halves, 28 bits).
uint32_t EntryCluster(const uint8_t* entry);

}  // namespace vexlo::fat
