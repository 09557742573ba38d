#include "filesystems/formatted_scan_engine.h"

#include <algorithm>

#include "engine/scan_history.h"
#include "engine/store_queries.h"

namespace vexlo {

FormattedScanEngine::FormattedScanEngine(ScanHistory& history, std::string_view log_prefix,
                                         uint32_t count_root_key)
    : history_(history), log_prefix_(log_prefix), count_root_key_(count_root_key) {}

FormattedScanEngine::~FormattedScanEngine() {
  store_.reset();
  CloseDiskHandle(disk_);
}

ErrorCode FormattedScanEngine::OpenImage(const std::filesystem::path& image_path,
                                         uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenImageFile(image_path, &disk); !rc.ok()) return rc;
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), 0, sectors, source_id);
}

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

ErrorCode FormattedScanEngine::OpenOnDisk(DiskHandle disk, uint64_t partition_start,
                                          uint64_t partition_sectors, uint16_t source_id) {
  CloseDiskHandle(disk_);
  disk_ = std::move(disk);
  source_id_ = source_id;
  partition_start_ = partition_start;
  medium_sectors_ = std::min(disk_.total_sectors, partition_start + partition_sectors);
  carving_.sector_bytes = disk_.device_sector_bytes;
  carving_.source = &disk_;
  open_ = false;
  ErrorCode rc = AcceptSource();
  open_ = rc.ok();
  return rc;
}

ErrorCode FormattedScanEngine::OpenStore(const std::string* earlier_record_file) {
  const std::string name = earlier_record_file != nullptr
                               ? *earlier_record_file
                               : ScanLogFileName(log_prefix_, partition_start_);
  if (ErrorCode rc =
          StoreOpen(history_.CurrentFolder(), name, search_callback_, search_user_, &store_);
      !rc.ok()) {
    return rc;
  }
  carving_.ResetForScan();
  return err::kSuccess;
}

ErrorCode FormattedScanEngine::SetProgressCallbacks(ScanProgressCallback /*scan*/,
                                                    RecoveryProgressCallback recovery, void* user,
                                                    int32_t /*scale*/) {
  recovery_callback_ = recovery;
  user_ = user;
  return err::kSuccess;
}

ErrorCode FormattedScanEngine::Scan(const std::string* /*earlier_record_file*/) {
  return err::kSuccess;
}

ErrorCode FormattedScanEngine::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                          std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, 0, out);
}

ErrorCode FormattedScanEngine::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                          uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, count_root_key_, count);
}

uint64_t FormattedScanEngine::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode FormattedScanEngine::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode FormattedScanEngine::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode FormattedScanEngine::FindFiles(std::string_view type_filter,
                                         std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

int32_t FormattedScanEngine::NextFreeRange(uint64_t* /*sector*/, uint64_t* /*length_sectors*/) {
  return 0;
}

ErrorCode FormattedScanEngine::BuildUsedClusterBitmap() { return err::kSuccess; }

}  // namespace vexlo
