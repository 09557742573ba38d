// The volume's side of a directory walk that FAT and exFAT take alike: the
// walk starts at the root cluster their boot sectors name, a cluster's first
// sector lies where their geometry puts it, and every record carries the
// volume's place on the medium. `kDataStart` names the geometry's field of the
// sector of cluster 2, relative to the partition.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/found_file_record.h"
#include "engine/scan_result_store.h"
#include "filesystems/deleted_tree_walker.h"

namespace vexlo {

template <typename Volume, FsKind kKind, auto kDataStart>
class VolumeTreeWalker : public DeletedTreeWalker {
 protected:
  // Everything must outlive the walker; `content_test` may be empty.
  VolumeTreeWalker(Volume& volume, ScanResultStore& store, FirstSectorTest content_test)
      : DeletedTreeWalker(store, std::move(content_test)), volume_(volume) {
    sector().assign(volume_.geometry.bytes_per_sector, 0);
  }

  uint32_t RootCluster() const final { return volume_.geometry.root_cluster; }

  RecordOrigin Origin() const final {
    const auto& g = volume_.geometry;
    return {volume_.source_id, kKind, g.cluster_bytes, g.*kDataStart, volume_.partition_start};
  }

  bool ReadFirstSector(uint32_t cluster, std::vector<uint8_t>& sector,
                       uint64_t* absolute_sector) final {
    const auto& g = volume_.geometry;
    if (!g.IsValidCluster(cluster)) return false;
    uint64_t sectors_read = 0;
    (void)volume_.Read(g.ClusterSector(cluster), 1, sector.data(), &sectors_read);
    *absolute_sector = volume_.partition_start + g.ClusterSector(cluster);
    return sectors_read == 1;
  }

  Volume& volume_;
};

}  // namespace vexlo
