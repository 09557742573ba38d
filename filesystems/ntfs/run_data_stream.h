// Streaming the data of a non-resident NTFS stream through its data runs, as
// both NTFS engines do for copy-out and preview.
//
// Data move in pieces of at most 64 KiB through one buffer; holes read as
// zeros without touching the medium. Runs whose byte length does not fit in
// 64 bits end the stream, so damaged runs cannot make it endless.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/record_output.h"
#include "filesystems/ntfs/data_runs.h"
#include "platform/error_code.h"

namespace vexlo::ntfs {

// Fills `out` with the bytes at `offset` within the clusters of `run` (never
// a hole); whatever it returns other than 0 ends the stream.
using RunPieceReader =
    std::function<ErrorCode(const DataRun& run, uint64_t offset, std::span<uint8_t> out)>;

// Feeds the first `size` bytes of the stream that `runs` lay out in clusters
// of `cluster_bytes` to `sink`. Reads are asked for in whole `unit_bytes`
// (the medium's sector) wherever the run allows it, and only what is due is
// passed on. Returns 0 when the bytes are delivered or the runs ended first,
// else the reader's error or the sink's answer.
ErrorCode StreamRunData(std::span<const DataRun> runs, uint64_t cluster_bytes, uint32_t unit_bytes,
                        uint64_t size, const RunPieceReader& read, const RecordDataSink& sink);

}  // namespace vexlo::ntfs
