// Reading a found file's data back along its cluster chain.
//
// Used by the copy-out and the preview. The chain is followed through the
// FAT, with the free-cluster continuation that deleted files need (see
// FatTable::NextCluster); the cluster geometry comes from the record, so a
// record always reads what the scan that made it saw.
//
// Bounds: records may come from a store on disk and are not trusted; a
// cluster size above 100 MiB is refused with 29, a chain is followed for at
// most as many clusters as the volume has, and data move in pieces of at most
// 64 KiB through one buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/found_file_record.h"
#include "filesystems/fat/fat_table.h"
#include "filesystems/fat/fat_volume.h"

namespace vexlo::fat {

// Largest cluster size a record may claim.
inline constexpr int64_t kMaxRecordClusterBytes = 104'857'600;

// Receives the file's bytes in order; `done` counts them including this
// piece. A nonzero answer stops the copy and is returned.
using DataSink = std::function<int32_t(std::span<const uint8_t> bytes, uint64_t done)>;

// Feeds the data of file record `record` to `sink`, at most `max_bytes` of
// them (the record's size when that is smaller). Returns 0 when the bytes are
// delivered or the chain ended early, 30 when the medium gave no data, 29 for
// an oversized cluster, 87 for a cluster size the volume cannot read.
ErrorCode ReadFileData(FatVolume& volume, FatTable& fat, const FoundFileRecord& record,
                       uint64_t max_bytes, const DataSink& sink);

}  // namespace vexlo::fat
