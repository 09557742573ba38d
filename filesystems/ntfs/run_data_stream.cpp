#include "filesystems/ntfs/run_data_stream.h"

#include <algorithm>
#include <vector>

#include "storage/read_trace.h"

namespace vexlo::ntfs {
namespace {

constexpr uint64_t kPieceBytes = 65536;

}  // namespace

ErrorCode StreamRunData(std::span<const DataRun> runs, uint64_t cluster_bytes, uint32_t unit_bytes,
                        uint64_t size, const RunPieceReader& read, const RecordDataSink& sink) {
  if (unit_bytes == 0) return err::kInvalidParameter;
  // Whole units per piece, so that every read but a run's last starts on one.
  const uint64_t capacity = std::max<uint64_t>(unit_bytes, kPieceBytes / unit_bytes * unit_bytes);
  std::vector<uint8_t> piece(capacity);
  uint64_t done = 0;
  for (const DataRun& run : runs) {
    uint64_t run_bytes = 0;
    if (done == size || __builtin_mul_overflow(run.length_clusters, cluster_bytes, &run_bytes)) {
      break;
    }
    for (uint64_t offset = 0; offset < run_bytes && done < size;) {
      const uint64_t length = std::min({capacity, run_bytes - offset, size - done});
      if (run.sparse) {
        std::fill_n(piece.begin(), length, uint8_t{0});
        ReadTrace::Forget(piece.data(), length);
      } else {
        const uint64_t whole = (length + unit_bytes - 1) / unit_bytes * unit_bytes;
        const std::span<uint8_t> out(piece.data(), std::min(whole, run_bytes - offset));
        if (ErrorCode rc = read(run, offset, out); !rc.ok()) return rc;
      }
      done += length;
      if (int32_t answer = sink(std::span<const uint8_t>(piece.data(), length), done);
          answer != 0) {
        return answer;
      }
      offset += length;
    }
  }
  return err::kSuccess;
}

}  // namespace vexlo::ntfs
