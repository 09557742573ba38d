#include "filesystems/ntfs/mft_placement.h"

#include <utility>

namespace vexlo::ntfs {
namespace {

// Sector offset of stream offset `offset` (sectors into the MFT) relative to
// the volume start, walking the runs; nothing in a hole or beyond them.
std::optional<uint64_t> VolumeOffsetOf(const std::vector<DataRun>& runs, uint64_t offset,
                                       uint64_t cluster_sectors) {
  uint64_t before = 0;
  for (const DataRun& run : runs) {
    uint64_t run_sectors = 0;
    if (__builtin_mul_overflow(run.length_clusters, cluster_sectors, &run_sectors)) {
      return std::nullopt;
    }
    if (offset - before < run_sectors) {
      if (run.sparse) return std::nullopt;
      uint64_t start = 0;
      if (__builtin_mul_overflow(run.first_cluster, cluster_sectors, &start) ||
          __builtin_add_overflow(start, offset - before, &start)) {
        return std::nullopt;
      }
      return start;
    }
    if (__builtin_add_overflow(before, run_sectors, &before)) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint64_t> MftPlacement::RecordSector(uint64_t number) const {
  if (!valid) return std::nullopt;
  uint64_t offset = 0;
  if (__builtin_mul_overflow(number, uint64_t{record_sectors}, &offset)) return std::nullopt;
  uint64_t sector = 0;
  if (runs == nullptr) {
    if (__builtin_add_overflow(first_sector, offset, &sector)) return std::nullopt;
    return sector;
  }
  const std::optional<uint64_t> in_volume = VolumeOffsetOf(*runs, offset, cluster_sectors);
  if (!in_volume || __builtin_add_overflow(partition_start, *in_volume, &sector)) {
    return std::nullopt;
  }
  return sector;
}

void MftMap::Add(uint64_t sector, std::vector<DataRun> runs, uint32_t cluster_sectors) {
  if (entries_.size() >= kMaxMftMapEntries || runs.empty() || runs.front().sparse) return;
  entries_.emplace(sector, Entry{std::move(runs), cluster_sectors});
}

MftPlacement MftMap::Place(uint64_t number, uint64_t sector, uint32_t cluster_sectors,
                           uint32_t record_sectors, uint64_t partition_start) const {
  MftPlacement placement;
  placement.record_sectors = record_sectors;
  uint64_t offset = 0;
  if (__builtin_mul_overflow(number, uint64_t{record_sectors}, &offset)) return placement;
  for (const auto& [mft_sector, entry] : entries_) {
    const uint32_t sectors = entry.cluster_sectors != 0 ? entry.cluster_sectors : cluster_sectors;
    const std::optional<uint64_t> record = VolumeOffsetOf(entry.runs, offset, sectors);
    const std::optional<uint64_t> record0 = VolumeOffsetOf(entry.runs, 0, sectors);
    // Both records at their places: the volume starts the same distance
    // before each of them.
    if (!record || !record0 || *record > sector || *record0 > mft_sector ||
        sector - *record != mft_sector - *record0) {
      continue;
    }
    placement.runs = &entry.runs;
    placement.partition_start = mft_sector - *record0;
    placement.cluster_sectors = sectors;
    placement.valid = true;
    return placement;
  }
  if (offset > sector) return placement;
  placement.first_sector = sector - offset;
  placement.partition_start = partition_start;
  placement.cluster_sectors = cluster_sectors;
  placement.valid = true;
  return placement;
}

}  // namespace vexlo::ntfs
