#include "filesystems/fat/directory_geometry.h"

#include "ondisk/fat_dir_entry.h"

namespace vexlo::fat {
namespace {

constexpr uint32_t kMaxSectorsPerCluster = 128;

bool IsClusterSizeInSectors(uint64_t value) {
  return value != 0 && value <= kMaxSectorsPerCluster && (value & (value - 1)) == 0;
}

}  // namespace

std::optional<uint64_t> DirectoryGeometry::SectorOf(uint32_t cluster) const {
  if (cluster == 0) {
    if (first_data_sector < kFixedRootSectors) return std::nullopt;
    return partition_start + first_data_sector - kFixedRootSectors;
  }
  if (cluster < 2 || cluster > kMaxFatCluster) return std::nullopt;
  return partition_start + first_data_sector + uint64_t{cluster - 2} * sectors_per_cluster;
}

std::optional<uint32_t> DirectoryGeometry::ClusterHolding(uint64_t sector) const {
  if (sector < partition_start) return std::nullopt;
  const uint64_t relative = sector - partition_start;
  if (relative < first_data_sector) {
    if (first_data_sector - relative <= kFixedRootSectors) return 0u;
    return std::nullopt;
  }
  const uint64_t cluster = (relative - first_data_sector) / sectors_per_cluster + 2;
  if (cluster > kMaxFatCluster) return std::nullopt;
  return static_cast<uint32_t>(cluster);
}

std::optional<uint32_t> DirectoryGeometry::ClusterStartingAt(uint64_t sector) const {
  const std::optional<uint32_t> cluster = ClusterHolding(sector);
  if (!cluster || SectorOf(*cluster) != sector) return std::nullopt;
  return cluster;
}

std::optional<DirectoryGeometry> GeometryFromPair(const DirectoryPosition& a,
                                                  const DirectoryPosition& b,
                                                  uint64_t partition_start) {
  const DirectoryPosition& low = a.sector <= b.sector ? a : b;
  const DirectoryPosition& high = a.sector <= b.sector ? b : a;
  if (low.cluster < 2 || high.cluster <= low.cluster || high.cluster > kMaxFatCluster) {
    return std::nullopt;
  }
  const uint64_t sectors = high.sector - low.sector;
  const uint64_t clusters = high.cluster - low.cluster;
  if (sectors % clusters != 0 || !IsClusterSizeInSectors(sectors / clusters)) return std::nullopt;
  const uint64_t per_cluster = sectors / clusters;
  const uint64_t before_low = per_cluster * (low.cluster - 2);
  if (before_low > low.sector || low.sector - before_low < partition_start) return std::nullopt;
  DirectoryGeometry geometry;
  geometry.sectors_per_cluster = static_cast<uint32_t>(per_cluster);
  geometry.first_data_sector = low.sector - before_low - partition_start;
  geometry.partition_start = partition_start;
  geometry.fat32 = high.cluster > 0xFFFF;
  return geometry;
}

uint32_t EntryCluster(const uint8_t* entry) { return DirEntry(entry).FirstCluster(true); }

}  // namespace vexlo::fat
