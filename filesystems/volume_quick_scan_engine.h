// The opening half of a quick engine whose volume is described by one boot
// sector parser and placed on the source the same way: FAT and exFAT. The
// engine keeps the volume; it still binds the volume's FAT (Place), walks
// its directories and reads its files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "filesystems/quick_scan_engine.h"
#include "platform/error_code.h"

namespace vexlo {

// `Volume` has `disk`, `source_id`, `partition_start`, `partition_sectors`
// and a `geometry` with `bytes_per_sector`, filled by `ParseBootSector`
// (span of boot bytes, geometry pointer → ErrorCode) from the first
// `kBootReadBytes` of the partition.
template <typename Volume, auto ParseBootSector, std::size_t kBootReadBytes>
class VolumeQuickScanEngine : public QuickScanEngine {
 public:
  // Public so that an engine can take it over with a using-declaration; the
  // class stays abstract until the engine binds the FAT and walks.
  explicit VolumeQuickScanEngine(ScanHistory& history) : QuickScanEngine(history, kBootReadBytes) {}

  // The volume as opened (geometry valid once an open call returned 0).
  const Volume& volume() const { return volume_; }

 protected:
  ErrorCode ParseBoot(std::span<const uint8_t> boot, uint32_t* bytes_per_sector) final {
    if (ErrorCode rc = ParseBootSector(boot, &volume_.geometry); !rc.ok()) return rc;
    *bytes_per_sector = volume_.geometry.bytes_per_sector;
    return err::kSuccess;
  }

  // Puts the volume on the engine's source; the first step of Place.
  void PlaceVolume(uint64_t partition_start, uint64_t partition_sectors) {
    volume_.disk = &disk();
    volume_.source_id = source_id();
    volume_.partition_start = partition_start;
    volume_.partition_sectors = partition_sectors;
  }

  Volume volume_;
};

}  // namespace vexlo
