// The file allocation table of an open FAT volume, read through a window.
//
// The window holds up to 16 MiB of consecutive FAT sectors and is reloaded
// when a lookup falls outside it, so walking the chains of a large volume
// costs one read per 16 MiB of FAT rather than one per lookup, with memory
// bounded whatever the volume's size. Only the first FAT copy is read.
//
// Chains on a damaged or partly reused volume can point anywhere; every value
// is checked against the volume's cluster range, and walkers bound their
// steps (see NextCluster).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "filesystems/fat/fat_boot_sector.h"
#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo::fat {

inline constexpr uint32_t kFatWindowBytes = 16 * 1024 * 1024;

class FatTable {
 public:
  // Binds the table to `disk` (which must outlive it) and fills the window
  // from the FAT's first sector. `fat_start` is absolute (partition start +
  // reserved sectors). A failed read is not an error: lookups reload on
  // demand.
  void Open(DiskHandle* disk, uint64_t fat_start, const FatGeometry& geometry);

  // The raw entry of `cluster` (12, 16 or the low 28 of 32 bits). 87 for a
  // cluster outside the table, 30 when its sector cannot be read. A FAT
  // sector that could not be read is not tried again for each of its
  // entries: the lookups that follow in it fail at once.
  ErrorCode Lookup(uint32_t cluster, uint32_t* value);

  bool IsEndMark(uint32_t value) const { return value >= geometry_.EndMarkMin(); }

  // The cluster that follows `cluster` in its chain, or 0 when the chain ends
  // there. A free entry (as deletion leaves it) continues into the next
  // cluster when that one is free as well, which is how a deleted file that
  // was written contiguously is followed. A value outside the volume, a bad
  // cluster mark or a step onto itself ends the chain.
  uint32_t NextCluster(uint32_t cluster);

 private:
  ErrorCode LoadWindowAt(uint64_t first_fat_sector);

  DiskHandle* disk_ = nullptr;
  FatGeometry geometry_;
  uint64_t fat_start_ = 0;
  std::vector<uint8_t> window_;
  uint64_t window_first_sector_ = 0;  // relative to the FAT start
  uint64_t window_bytes_loaded_ = 0;
  bool have_window_ = false;
  // The FAT sector (relative to the FAT start) whose read failed last.
  std::optional<uint64_t> unreadable_sector_;
};

}  // namespace vexlo::fat
