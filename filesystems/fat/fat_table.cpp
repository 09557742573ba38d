#include "filesystems/fat/fat_table.h"

#include <algorithm>
#include <new>

#include "ondisk/endian.h"

namespace vexlo::fat {

void FatTable::Open(DiskHandle* disk, uint64_t fat_start, const FatGeometry& geometry) {
  disk_ = disk;
  geometry_ = geometry;
  fat_start_ = fat_start;
  const uint64_t fat_bytes = uint64_t{geometry.sectors_per_fat} * geometry.bytes_per_sector;
  try {
    window_.assign(static_cast<std::size_t>(std::min<uint64_t>(kFatWindowBytes, fat_bytes)), 0);
    have_window_ = true;
  } catch (const std::bad_alloc&) {
    window_.clear();
    have_window_ = false;
  }
  window_bytes_loaded_ = 0;
  unreadable_sector_.reset();
  if (have_window_) (void)LoadWindowAt(0);
}

ErrorCode FatTable::LoadWindowAt(uint64_t first_fat_sector) {
  if (unreadable_sector_ == first_fat_sector) return err::kReadFault;
  const uint32_t bps = geometry_.bytes_per_sector;
  // A FAT that runs past the end of the medium is read up to that end.
  const uint64_t medium_bytes = disk_->total_sectors * disk_->device_sector_bytes;
  const uint64_t at_bytes = (fat_start_ + first_fat_sector) * bps;
  const uint64_t on_medium = medium_bytes > at_bytes ? (medium_bytes - at_bytes) / bps : 0;
  const uint64_t sectors = std::min<uint64_t>(
      {window_.size() / bps, geometry_.sectors_per_fat - first_fat_sector, on_medium});
  uint64_t sectors_read = 0;
  ErrorCode rc = ReadSectors(sectors, *disk_, window_.data(), fat_start_ + first_fat_sector, bps,
                             &sectors_read);
  window_first_sector_ = first_fat_sector;
  window_bytes_loaded_ = sectors_read * bps;
  if (sectors_read == 0) {
    unreadable_sector_ = first_fat_sector;
    return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  }
  return err::kSuccess;
}

ErrorCode FatTable::Lookup(uint32_t cluster, uint32_t* value) {
  *value = 0;
  if (cluster > geometry_.max_cluster()) return err::kInvalidParameter;
  if (!have_window_) {
    // Without memory for the table, chains are taken as contiguous.
    *value = cluster + 1;
    return err::kSuccess;
  }
  const uint32_t bits = geometry_.fat_entry_bits();
  const uint64_t offset = uint64_t{cluster} * bits / 8;
  const uint32_t width = bits == 32 ? 4 : 2;  // a FAT12 entry straddles two bytes
  const uint32_t bps = geometry_.bytes_per_sector;
  const uint64_t window_begin = window_first_sector_ * bps;
  if (offset < window_begin || offset + width > window_begin + window_bytes_loaded_) {
    if (ErrorCode rc = LoadWindowAt(offset / bps); !rc.ok()) return rc;
    if (offset + width > window_first_sector_ * bps + window_bytes_loaded_) {
      return err::kReadFault;
    }
  }
  const std::span<const uint8_t> window(window_.data(), window_bytes_loaded_);
  const std::size_t at = offset - window_first_sector_ * bps;
  switch (bits) {
    case 12: {
      const uint16_t pair = LoadLe16(window, at);
      *value = (cluster & 1) ? (pair >> 4) : (pair & 0x0FFF);
      break;
    }
    case 16:
      *value = LoadLe16(window, at);
      break;
    default:
      *value = LoadLe32(window, at) & 0x0FFFFFFF;
      break;
  }
  return err::kSuccess;
}

uint32_t FatTable::NextCluster(uint32_t cluster) {
  uint32_t value = 0;
  if (!Lookup(cluster, &value).ok()) return 0;
  uint32_t next = value;
  if (value == 0) {
    uint32_t following = 0;
    if (!Lookup(cluster + 1, &following).ok() || following != 0) return 0;
    next = cluster + 1;
  } else if (IsEndMark(value)) {
    return 0;
  }
  if (next == cluster || !geometry_.IsValidCluster(next)) return 0;
  return next;
}

}  // namespace vexlo::fat
