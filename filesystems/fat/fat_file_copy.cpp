#include "filesystems/fat/fat_file_copy.h"

#include <algorithm>
#include <vector>

#include "storage/sector_io.h"

namespace vexlo::fat {

ErrorCode ReadFileData(FatVolume& volume, FatTable& fat, const FoundFileRecord& record,
                       uint64_t max_bytes, const DataSink& sink) {
  const FatGeometry& g = volume.geometry;
  const uint32_t bps = g.bytes_per_sector;
  const int64_t cluster_bytes = record.cluster_bytes;
  if (cluster_bytes > kMaxRecordClusterBytes) return err::kWriteFault;
  if (cluster_bytes <= 0 || cluster_bytes % bps != 0) return err::kInvalidParameter;
  const uint64_t cluster_sectors = static_cast<uint64_t>(cluster_bytes) / bps;

  const uint64_t record_size = record.size;  // the record is packed: no references
  const uint64_t total = std::min(record_size, max_bytes);
  if (total == 0) return err::kSuccess;

  std::vector<uint8_t> buffer(kReadPieceBytes);
  const uint64_t piece_sectors = kReadPieceBytes / bps;
  uint64_t done = 0;
  uint32_t cluster = record.key;
  // The fixed FAT12/16 root is addressed as cluster 0.
  const bool fixed_root = !g.is_fat32() && cluster == 0;
  if (!fixed_root && !g.IsValidCluster(cluster)) return err::kReadFault;

  for (uint64_t steps = 0; done < total && steps <= g.cluster_count; ++steps) {
    uint64_t first = 0;
    uint64_t sectors = 0;
    if (fixed_root) {
      first = record.partition_start + record.data_start - g.root_sectors;
      sectors = g.root_sectors;
    } else {
      first = record.partition_start + record.data_start + uint64_t{cluster - 2} * cluster_sectors;
      sectors = cluster_sectors;
    }
    for (uint64_t offset = 0; offset < sectors && done < total;) {
      const uint64_t due_sectors = (total - done + bps - 1) / bps;
      const uint64_t count = std::min({piece_sectors, sectors - offset, due_sectors});
      uint64_t sectors_read = 0;
      const ErrorCode rc =
          ReadSectors(count, *volume.disk, buffer.data(), first + offset, bps, &sectors_read);
      if (sectors_read == 0) return err::kReadFault;
      const uint64_t bytes = std::min<uint64_t>(sectors_read * bps, total - done);
      done += bytes;
      if (const int32_t answer = sink(std::span<const uint8_t>(buffer.data(), bytes), done);
          answer != 0) {
        return answer;
      }
      if (!rc.ok()) return rc;
      offset += sectors_read;
    }
    if (fixed_root) break;
    cluster = fat.NextCluster(cluster);
    if (cluster == 0) break;
  }
  return err::kSuccess;
}

}  // namespace vexlo::fat
