// Recognising the first sector of an NTFS FILE record among the sectors of a
// medium, as the formatted scan walks it.
#pragma once

#include <cstdint>
#include <span>

namespace vexlo::ntfs {

// Bytes of one FILE record on a medium with `sector_bytes` sectors: two
// sectors of 512 bytes, or one larger sector.
constexpr uint32_t FileRecordBytes(uint32_t sector_bytes) {
  return sector_bytes > 512 ? sector_bytes : 2 * sector_bytes;
}

// True when `sector` begins a FILE record: the signature, a bytes-in-use
// value that fits the record, an allocated size equal to it, and the update
// sequence number repeated in the sector's last two bytes (which a torn or
// stale sector rarely has).
bool IsFileRecordSector(std::span<const uint8_t> sector, uint32_t sector_bytes);

// The record's directory flag.
bool IsDirectoryRecord(std::span<const uint8_t> sector);

}  // namespace vexlo::ntfs
