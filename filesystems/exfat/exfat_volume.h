// An open exFAT volume: its source, where it lies there, its geometry and its
// FAT, and the clusters of one file or directory in order.
//
// Deleted data are found the way exFAT allocates them: a "no FAT chain" file
// lies in consecutive clusters, and a chained file's links usually survive
// its deletion (only the allocation bitmap is cleared). When a deleted file's
// first link reads free, the links were wiped, and its data are taken as
// consecutive from the first cluster.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "filesystems/exfat/exfat_boot_sector.h"
#include "filesystems/fat/fat_table.h"
#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo::exfat {

struct ExFatVolume {
  DiskHandle* disk = nullptr;  // the engine's source
  ExFatGeometry geometry;
  fat::FatTable fat;
  fat::FatGeometry fat_geometry;   // the same layout in the FAT engine's terms
  uint64_t partition_start = 0;    // absolute, in the volume's sector size
  uint64_t partition_sectors = 0;  // in the volume's sector size
  uint16_t source_id = 0;

  // Derives fat_geometry and binds the FAT window (after the boot sector was
  // parsed).
  void OpenFat();
  // Reads `count` sectors at `sector` (relative to the partition); reads that
  // would leave the partition are refused with 87 before any I/O.
  ErrorCode Read(uint64_t sector, uint64_t count, uint8_t* buffer, uint64_t* sectors_read);
};

// The clusters of one object, at most `max_clusters` of them, so that a
// cyclic or endless chain ends; each value is checked against the heap.
class ClusterRun {
 public:
  ClusterRun(ExFatVolume& volume, uint32_t first_cluster, uint64_t max_clusters, bool contiguous);
  // The next cluster, or 0 when the object ends.
  uint32_t Next();

 private:
  ExFatVolume& volume_;
  uint32_t current_ = 0;
  uint64_t given_ = 0;
  uint64_t max_clusters_;
  bool contiguous_;
};

// Clusters needed for `bytes` bytes.
uint64_t ClustersFor(const ExFatGeometry& geometry, uint64_t bytes);

// Receives a file's bytes in order; `done` counts them including this piece.
// A nonzero answer stops the read and is returned.
using DataSink = std::function<int32_t(std::span<const uint8_t> bytes, uint64_t done)>;

// Where a file's data are and how many of them were written.
struct DataPlacement {
  uint32_t first_cluster = 0;
  bool contiguous = false;
  uint64_t valid_length = 0;  // bytes past it read as zeros, as exFAT returns them
  uint64_t size = 0;
};

// Feeds at most `max_bytes` of the file to `sink` in pieces of up to 64 KiB.
// Returns 0 when delivered (or when the chain ended early), 30 when the
// medium gave nothing, 87 for a first cluster outside the heap.
ErrorCode ReadFileData(ExFatVolume& volume, const DataPlacement& placement, uint64_t max_bytes,
                       const DataSink& sink);

// Tells whether a file's first sector looks like its extension says; `sector`
// is absolute. Bound to the signature tests.
using ContentTest = std::function<bool(std::span<const uint8_t> first_sector,
                                       std::string_view extension, uint64_t sector)>;

}  // namespace vexlo::exfat
