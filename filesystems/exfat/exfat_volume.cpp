#include "filesystems/exfat/exfat_volume.h"

#include <algorithm>
#include <vector>

#include "storage/read_trace.h"

namespace vexlo::exfat {

void ExFatVolume::OpenFat() {
  // The FAT window reads exFAT's 32-bit entries as FAT32 ones; the 28-bit
  // mask is harmless below kMaxClusterCount and turns the end mark into
  // a value outside the heap.
  fat::FatGeometry& g = fat_geometry;
  g.type = fat::FatType::kFat32;
  g.bytes_per_sector = geometry.bytes_per_sector;
  g.sectors_per_cluster = geometry.sectors_per_cluster;
  g.cluster_bytes = geometry.cluster_bytes;
  g.reserved_sectors = geometry.fat_offset;
  g.fat_count = 1;
  g.sectors_per_fat = geometry.fat_length;
  g.total_sectors = geometry.volume_sectors;
  g.data_start = geometry.heap_offset;
  g.cluster_count = geometry.cluster_count;
  g.root_cluster = geometry.root_cluster;
  fat.Open(disk, partition_start + geometry.fat_offset, g);
}

ErrorCode ExFatVolume::Read(uint64_t sector, uint64_t count, uint8_t* buffer,
                            uint64_t* sectors_read) {
  *sectors_read = 0;
  if (sector >= partition_sectors || count > partition_sectors - sector) {
    return err::kInvalidParameter;
  }
  return ReadSectors(count, *disk, buffer, partition_start + sector, geometry.bytes_per_sector,
                     sectors_read);
}

ClusterRun::ClusterRun(ExFatVolume& volume, uint32_t first_cluster, uint64_t max_clusters,
                       bool contiguous)
    : volume_(volume),
      current_(first_cluster),
      max_clusters_(max_clusters),
      contiguous_(contiguous) {}

uint32_t ClusterRun::Next() {
  if (given_ >= max_clusters_) return 0;
  if (given_ > 0) {
    uint32_t next = current_ + 1;
    if (!contiguous_) {
      uint32_t link = 0;
      if (!volume_.fat.Lookup(current_, &link).ok()) return 0;
      if (link == 0 && given_ == 1) {
        contiguous_ = true;
      } else {
        next = link;
      }
    }
    current_ = next;
  }
  if (!volume_.geometry.IsValidCluster(current_)) return 0;
  ++given_;
  return current_;
}

uint64_t ClustersFor(const ExFatGeometry& geometry, uint64_t bytes) {
  return bytes / geometry.cluster_bytes + (bytes % geometry.cluster_bytes != 0 ? 1 : 0);
}

ErrorCode ReadFileData(ExFatVolume& volume, const DataPlacement& placement, uint64_t max_bytes,
                       const DataSink& sink) {
  const ExFatGeometry& g = volume.geometry;
  const uint64_t total = std::min(placement.size, max_bytes);
  if (total == 0) return err::kSuccess;
  if (!g.IsValidCluster(placement.first_cluster)) return err::kReadFault;
  const uint32_t bps = g.bytes_per_sector;
  std::vector<uint8_t> buffer(std::max<std::size_t>(kReadPieceBytes, bps));
  const uint64_t piece_sectors = buffer.size() / bps;
  ClusterRun run(volume, placement.first_cluster, ClustersFor(g, total), placement.contiguous);
  uint64_t done = 0;
  for (uint32_t cluster = run.Next(); cluster != 0 && done < total; cluster = run.Next()) {
    const uint64_t first = g.ClusterSector(cluster);
    for (uint64_t offset = 0; offset < g.sectors_per_cluster && done < total;) {
      const uint64_t due = (total - done + bps - 1) / bps;
      const uint64_t count = std::min({piece_sectors, g.sectors_per_cluster - offset, due});
      uint64_t bytes = 0;
      ErrorCode rc = err::kSuccess;
      if (done >= placement.valid_length) {
        // Never written: what a reader of the live file got back.
        std::fill_n(buffer.begin(), count * bps, 0);
        ReadTrace::Forget(buffer.data(), count * bps);
        bytes = count * bps;
      } else {
        uint64_t sectors_read = 0;
        rc = volume.Read(first + offset, count, buffer.data(), &sectors_read);
        if (sectors_read == 0) return rc.ok() ? ErrorCode(err::kReadFault) : rc;
        bytes = sectors_read * bps;
        if (done + bytes > placement.valid_length) {
          const uint64_t keep = placement.valid_length - done;
          std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(keep),
                    buffer.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
          ReadTrace::Forget(buffer.data() + keep, bytes - keep);
        }
      }
      bytes = std::min(bytes, total - done);
      done += bytes;
      if (const int32_t answer = sink(std::span<const uint8_t>(buffer.data(), bytes), done);
          answer != 0) {
        return answer;
      }
      if (!rc.ok()) return rc;
      offset += (bytes + bps - 1) / bps;
    }
  }
  return err::kSuccess;
}

}  // namespace vexlo::exfat
