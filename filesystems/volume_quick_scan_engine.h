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
// (span of boot bytes, geometry pointer → ErrorCode).
template <typename Volume, auto ParseBootSector>
class VolumeQuickScanEngine : public QuickScanEngine {
 public:
  // The volume as opened (geometry valid once an open call returned 0).
  const Volume& volume() const { return volume_; }

 protected:
  VolumeQuickScanEngine(ScanHistory& history, std::size_t boot_read_bytes)
      : QuickScanEngine(history, boot_read_bytes) {}

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
