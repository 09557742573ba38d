// The partition device behind (disk number, first sector), and what the
// system knows about it while it is mounted.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/disk_table.h"

namespace vexlo {

// The partition of disk `disk_number` that starts at `first_sector` (sectors
// of `sector_bytes`); none when the sector starts no partition.
std::optional<platform::PartitionInfo> FindPartitionAt(uint32_t disk_number, uint64_t first_sector,
                                                       uint32_t sector_bytes,
                                                       const platform::SysfsRoots& roots = {});

// Free bytes of that partition's file system when it is mounted, else 0. A
// changed value tells that the volume was written since it was last scanned.
uint64_t PartitionFreeBytes(uint32_t disk_number, uint64_t first_sector, uint32_t sector_bytes,
                            const platform::SysfsRoots& roots = {});

}  // namespace vexlo
