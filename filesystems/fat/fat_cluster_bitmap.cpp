#include "filesystems/fat/fat_cluster_bitmap.h"

#include <algorithm>
#include <utility>

namespace vexlo::fat {

void UsedClusterBitmap::Set(uint32_t cluster) {
  const uint32_t index = cluster - 2;
  bits_[index / 8] |= static_cast<uint8_t>(1u << (index % 8));
}

bool UsedClusterBitmap::IsUsed(uint32_t cluster) const {
  if (cluster < 2 || cluster - 2 >= cluster_count_) return false;
  const uint32_t index = cluster - 2;
  return (bits_[index / 8] >> (index % 8)) & 1;
}

void UsedClusterBitmap::Build(FatTable& table, const FatGeometry& geometry,
                              uint64_t volume_sectors) {
  cluster_count_ = geometry.ClustersWithin(volume_sectors);
  bits_.assign((cluster_count_ + 7) / 8, 0);
  for (uint32_t cluster = 2; cluster - 2 < cluster_count_; ++cluster) {
    uint32_t value = 0;
    if (!table.Lookup(cluster, &value).ok() || value == 0) continue;
    Set(cluster);
    if (!table.IsEndMark(value) && value >= 2 && value - 2 < cluster_count_) Set(value);
  }
  built_ = true;
}

void UsedClusterBitmap::Assign(std::vector<uint8_t> bits, uint32_t cluster_count) {
  cluster_count_ = cluster_count;
  bits_ = std::move(bits);
  bits_.resize((cluster_count_ + 7) / 8, 0xFF);
  built_ = true;
}

void UsedClusterBitmap::NextFreeRange(const FatGeometry& geometry, uint64_t partition_sectors,
                                      uint64_t* sector, uint64_t* length_sectors) const {
  *length_sectors = 0;
  if (*sector >= partition_sectors) {
    *sector = partition_sectors;
    return;
  }
  const uint64_t spc = geometry.sectors_per_cluster;
  const uint64_t start = std::max(*sector, geometry.data_start);
  uint64_t index = (start - geometry.data_start) / spc;  // cluster - 2
  uint64_t run_start = start;
  if (index < cluster_count_ && IsUsed(static_cast<uint32_t>(index + 2))) {
    // Skip used clusters, whole bytes at a time where they are full.
    while (index < cluster_count_) {
      if (index % 8 == 0 && bits_[index / 8] == 0xFF) {
        index += 8;
        continue;
      }
      if (!IsUsed(static_cast<uint32_t>(index + 2))) break;
      ++index;
    }
    run_start = geometry.data_start + index * spc;
  }
  uint64_t end = index;
  while (end < cluster_count_) {
    if (end % 8 == 0 && bits_[end / 8] == 0) {
      end += 8;
      continue;
    }
    if (IsUsed(static_cast<uint32_t>(end + 2))) break;
    ++end;
  }
  // Sectors behind the last whole cluster belong to no file: free as well.
  const uint64_t run_end = end >= cluster_count_
                               ? partition_sectors
                               : std::min(geometry.data_start + end * spc, partition_sectors);
  if (run_start >= partition_sectors) {
    *sector = partition_sectors;
    return;
  }
  *sector = run_start;
  *length_sectors = run_end > run_start ? run_end - run_start : 0;
}

}  // namespace vexlo::fat
