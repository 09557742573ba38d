#include "filesystems/formatted_scan_engine.h"

#include <algorithm>

namespace vexlo {

FormattedScanEngine::FormattedScanEngine(ScanHistory& history, std::string_view log_prefix,
                                         uint32_t count_root_key)
    : StoreBackedEngine(history, log_prefix), count_root_key_(count_root_key) {}

FormattedScanEngine::~FormattedScanEngine() = default;

ErrorCode FormattedScanEngine::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                             uint64_t /*sector_count*/, uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk); !rc.ok()) {
    CloseDiskHandle(disk);
    return rc;
  }
  // Directories and records of an earlier, larger volume may lie anywhere on
  // the disk, so reads are bounded by the disk rather than by the partition.
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), first_sector, sectors, source_id);
}

ErrorCode FormattedScanEngine::OpenImagePartition(const std::filesystem::path& image_path,
                                                  uint64_t first_sector, uint64_t /*sector_count*/,
                                                  uint16_t source_id) {
  // As on a disk: bounded by the image rather than by the partition.
  return StoreBackedEngine::OpenImagePartition(image_path, first_sector, kToImageEnd, source_id);
}

uint64_t FormattedScanEngine::medium_sectors() const {
  return std::min(disk().total_sectors, partition_start() + partition_sectors());
}

ErrorCode FormattedScanEngine::StartScan(const std::string* earlier_record_file) {
  if (ErrorCode rc = OpenStore(earlier_record_file); !rc.ok()) return rc;
  carving_.ResetForScan();
  return err::kSuccess;
}

ErrorCode FormattedScanEngine::Scan(const std::string* /*earlier_record_file*/) {
  return err::kSuccess;
}

}  // namespace vexlo
