// Data runs: the mapping pairs that place a non-resident attribute's clusters
// on the volume.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vexlo::ntfs {

struct DataRun {
  uint64_t length_clusters = 0;
  // Absolute first cluster; meaningless for a sparse run.
  uint64_t first_cluster = 0;
  // A hole: reads as zeros and occupies no clusters.
  bool sparse = false;
};

enum class RunListStatus {
  kComplete,  // ended at its terminator
  kCorrupt,   // ran off its bytes, a zero length, or a cluster before the volume start
};

// Decodes a run list and appends its runs to `runs`. Each run begins with a
// header byte: low nibble = size of the length field, high nibble = size of
// the signed offset field, a delta from the previous run's first cluster. A
// header of 0 ends the list; so does a length size of 0 or 8 and more, or an
// offset size of 8 and more. An offset size of 0 is a sparse run. The list
// may fill its attribute to the end; nothing beyond `run_bytes` is read.
// `previous_cluster` is where deltas start (0 for a list of its own).
RunListStatus DecodeDataRuns(std::span<const uint8_t> run_bytes, std::vector<DataRun>* runs,
                             uint64_t previous_cluster = 0);

// True when every non-sparse run lies inside a volume of `volume_clusters`.
bool RunsInsideVolume(std::span<const DataRun> runs, uint64_t volume_clusters);

// Sum of the run lengths, saturating rather than wrapping.
uint64_t TotalClusters(std::span<const DataRun> runs);

}  // namespace vexlo::ntfs
