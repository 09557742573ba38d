// Reading a file whose data lie in consecutive sectors of a source: carved
// files, and files rebuilt from directory entries without their FAT, whose
// data are taken as the clusters that follow the first one.
//
// Data move in pieces of at most 64 KiB through one buffer, read once; only
// the last piece is trimmed to the file's size. The source is only read.
#pragma once

#include <cstdint>

#include "engine/record_output.h"
#include "storage/sector_io.h"

namespace vexlo {

// Where a contiguous file lies.
struct ContiguousExtent {
  uint64_t first_sector;
  uint64_t size_bytes;
  uint32_t sector_bytes;
};

// Feeds at most `max_bytes` of the extent's bytes (its size when that is
// smaller) to `sink`: 0 when they are delivered, 30 when the medium gave no
// data at all where some were due, the read error once what could be read
// was delivered, 87 for a sector size the reads cannot take. A nonzero
// answer of the sink stops the reading and is returned.
ErrorCode ReadContiguous(DiskHandle& disk, const ContiguousExtent& extent, uint64_t max_bytes,
                         const RecordDataSink& sink);

}  // namespace vexlo
