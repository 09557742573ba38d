// An open FAT volume: its source, where it lies on that source, and its
// geometry. Shared by the quick engine's scan, copy-out and preview.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "filesystems/fat/fat_boot_sector.h"
#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo::fat {

struct FatVolume {
  DiskHandle* disk = nullptr;  // the engine's source
  FatGeometry geometry;
  uint64_t partition_start = 0;    // absolute, in the volume's sector size
  uint64_t partition_sectors = 0;  // in the volume's sector size
  uint16_t source_id = 0;

  // Reads `count` sectors at `sector` (relative to the partition). Reads that
  // would leave the partition are refused with 87 before any I/O.
  ErrorCode Read(uint64_t sector, uint64_t count, uint8_t* buffer, uint64_t* sectors_read);
};

// Tells whether a file's first sector looks like its extension says
// (1 match, 0 mismatch); `sector` is absolute. Bound to the signature tests.
using ContentTest = std::function<bool(std::span<const uint8_t> first_sector,
                                       std::string_view extension, uint64_t sector)>;

}  // namespace vexlo::fat
