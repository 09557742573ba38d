#include "ondisk/ntfs_data_runs.h"

#include "ondisk/endian.h"

namespace vexlo::ntfs {

RunListStatus DecodeDataRuns(std::span<const uint8_t> run_bytes, std::vector<DataRun>* runs,
                             uint64_t previous_cluster) {
  std::size_t pos = 0;
  uint64_t cluster = previous_cluster;
  while (pos < run_bytes.size()) {
    const uint8_t header = run_bytes[pos];
    const unsigned length_size = header & 0x0F;
    const unsigned offset_size = header >> 4;
    if (header == 0 || length_size == 0 || length_size >= 8 || offset_size >= 8) {
      return RunListStatus::kComplete;
    }
    if (pos + 1 + length_size + offset_size > run_bytes.size()) return RunListStatus::kCorrupt;
    ++pos;
    const uint64_t length = LoadLeN(run_bytes, pos, length_size);
    pos += length_size;
    if (length == 0) return RunListStatus::kCorrupt;

    DataRun run;
    run.length_clusters = length;
    if (offset_size == 0) {
      run.sparse = true;
    } else {
      uint64_t delta = LoadLeN(run_bytes, pos, offset_size);
      // Sign-extend from the top byte of the field.
      if (run_bytes[pos + offset_size - 1] & 0x80) delta |= ~uint64_t{0} << (8 * offset_size);
      pos += offset_size;
      // Modular arithmetic: a negative result shows as a set top bit.
      const uint64_t next = cluster + delta;
      if (static_cast<int64_t>(next) < 0) return RunListStatus::kCorrupt;
      cluster = next;
      run.first_cluster = cluster;
    }
    runs->push_back(run);
  }
  // The attribute ended without a terminator: the list is cut.
  return RunListStatus::kCorrupt;
}

bool RunsInsideVolume(std::span<const DataRun> runs, uint64_t volume_clusters) {
  for (const DataRun& run : runs) {
    if (run.sparse) continue;
    if (run.first_cluster >= volume_clusters ||
        run.length_clusters > volume_clusters - run.first_cluster) {
      return false;
    }
  }
  return true;
}

uint64_t TotalClusters(std::span<const DataRun> runs) {
  uint64_t total = 0;
  for (const DataRun& run : runs) {
    total = run.length_clusters > UINT64_MAX - total ? UINT64_MAX : total + run.length_clusters;
  }
  return total;
}

}  // namespace vexlo::ntfs
