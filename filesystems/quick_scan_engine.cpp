#include "filesystems/quick_scan_engine.h"

#include <algorithm>
#include <chrono>

#include "carving/formats/signature_table.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"

namespace vexlo {
namespace {

// Progress during the walk: the tree's size is unknown, so the bar creeps
// forward at most every 5 s and the final stages are fixed.
constexpr auto kProgressInterval = std::chrono::milliseconds(5000);
constexpr int32_t kWalkProgressCeiling = 79;
constexpr int32_t kEmitProgress = 80;
constexpr int32_t kDoneProgress = 100;

}  // namespace

QuickScanEngine::~QuickScanEngine() = default;

ErrorCode QuickScanEngine::OpenImage(const std::filesystem::path& image_path, uint16_t source_id) {
  if (opened_) return err::kSuccess;
  log_start_sector_ = 0;
  source_id_ = source_id;
  if (ErrorCode rc = OpenImageFile(image_path, &disk()); !rc.ok()) {
    open_result_ = rc;
    return rc;
  }
  open_result_ = OpenVolume(0, disk().total_sectors);
  return open_result_;
}

ErrorCode QuickScanEngine::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                         uint64_t sector_count, uint16_t source_id) {
  if (opened_) return err::kSuccess;
  log_start_sector_ = first_sector;
  source_id_ = source_id;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk()); !rc.ok()) {
    CloseDiskHandle(disk());
    open_result_ = rc;
    return rc;
  }
  open_result_ = OpenVolume(first_sector, sector_count);
  return open_result_;
}

ErrorCode QuickScanEngine::OpenVolume(uint64_t first_device_sector, uint64_t device_sectors) {
  DiskHandle& source = disk();
  const uint32_t device_bytes = source.device_sector_bytes;
  std::vector<uint8_t> boot(BootReadBytes(), 0);
  const uint64_t available =
      source.total_sectors > first_device_sector ? source.total_sectors - first_device_sector : 0;
  const uint64_t want = std::min<uint64_t>(boot.size() / device_bytes, available);
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, source, boot.data(), first_device_sector, device_bytes, &sectors_read);
  if (sectors_read * device_bytes < 512) {
    CloseDiskHandle(source);
    return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  }
  uint32_t bps = 0;
  if (rc = ParseBoot(boot, &bps); !rc.ok()) {
    CloseDiskHandle(source);
    return rc;
  }
  // From here on the volume is read in its own sector size; the partition's
  // place on the disk must be expressible in it.
  const uint64_t start_bytes = first_device_sector * device_bytes;
  if (start_bytes % bps != 0) {
    CloseDiskHandle(source);
    return err::kInvalidParameter;
  }
  partition_sectors_ = device_sectors * device_bytes / bps;
  Place(source_id_, start_bytes / bps, partition_sectors_);
  carving_.sector_bytes = bps;
  carving_.source = &source;
  opened_ = true;
  return err::kSuccess;
}

ErrorCode QuickScanEngine::SetProgressCallbacks(ScanProgressCallback scan,
                                                RecoveryProgressCallback recovery, void* user,
                                                int32_t scale) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  scale_ = scale;
  return err::kSuccess;
}

int32_t QuickScanEngine::ReportScan(int32_t progress, int32_t remaining_seconds) {
  if (scan_callback_ == nullptr) return 0;
  return scan_callback_(user_, progress, scale_, remaining_seconds, 0, 0, 0, 0);
}

ErrorCode QuickScanEngine::Scan(const std::string* earlier_record_file) {
  if (earlier_record_file != nullptr) {
    return StoreOpen(history_.CurrentFolder(), *earlier_record_file, search_callback_, search_user_,
                     &store_);
  }
  if (!opened_) return open_result_.ok() ? ErrorCode(err::kInvalidParameter) : open_result_;
  const std::filesystem::path folder = history_.CurrentFolder();
  if (ErrorCode rc =
          StoreOpen(folder, UnusedScanLogFileName(kFastLogPrefix, log_start_sector_, folder),
                    search_callback_, search_user_, &store_);
      !rc.ok())
    return rc;
  if (const int32_t answer = ReportScan(1, -1); answer != 0) return answer;

  // The walk's own bar: scale 100 counts up from 2 with a countdown of
  // seconds, the formatted driver's scale 9 counts up from 21; other scales
  // get no intermediate reports.
  int32_t progress = scale_ == 9 ? 21 : 2;
  int32_t countdown = 99;
  auto last_report = std::chrono::steady_clock::now();
  auto after_directory = [&]() -> int32_t {
    if (scale_ != 100 && scale_ != 9) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_report < kProgressInterval) return 0;
    last_report = now;
    const int32_t answer = ReportScan(progress, scale_ == 100 ? countdown : -1);
    progress = std::min(progress + 1, kWalkProgressCeiling);
    countdown = std::max(countdown - 1, 11);
    return answer;
  };

  carving_.ResetForScan();
  const std::unique_ptr<DeletedTreeWalker> walker = MakeWalker(
      *store_,
      [this](std::span<const uint8_t> sector, std::string_view extension, uint64_t number) {
        return carving::CheckTypeByExtension(carving_, sector.data(), sector.size(), extension,
                                             &disk(), carving_.sector_bytes, number);
      });
  if (const int32_t answer = walker->Walk(after_directory); answer != 0) return answer;
  if (const int32_t answer = ReportScan(kEmitProgress, 10); answer != 0) return answer;
  if (ErrorCode rc = walker->EmitFolders(); !rc.ok()) return rc;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  return ReportScan(kDoneProgress, 0);
}

ErrorCode QuickScanEngine::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                      std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, RootCluster(), out);
}

ErrorCode QuickScanEngine::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                      uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, RootCluster(), count);
}

uint64_t QuickScanEngine::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode QuickScanEngine::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode QuickScanEngine::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode QuickScanEngine::FindFiles(std::string_view type_filter,
                                     std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

int32_t QuickScanEngine::NextFreeRange(uint64_t* sector, uint64_t* length_sectors) {
  if (!bitmap_.built()) return 0;
  bitmap_.NextFreeRange(ClusterLayout(), partition_sectors_, sector, length_sectors);
  return 1;
}

RecordDataReader QuickScanEngine::ReaderOf(const FoundFileRecord& record) {
  return [this, record](uint64_t max_bytes, const RecordDataSink& sink) {
    return ReadData(record, max_bytes, sink);
  };
}

ErrorCode QuickScanEngine::RecoverFile(const FoundFileRecord& record,
                                       const std::filesystem::path& destination,
                                       uint32_t /*root_separator_count*/) {
  if (!opened_) return err::kInvalidParameter;
  return RecoverRecord(
      store_.get(), record, destination,
      [this](const FoundFileRecord& file) { return ReaderOf(file); }, recovery_callback_, user_);
}

ErrorCode QuickScanEngine::ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                             uint8_t* buffer, uint32_t* byte_count,
                                             PreviewProgressCallback callback, void* user) {
  if (!opened_) {
    path->clear();
    *byte_count = 0;
    if (callback != nullptr) (void)callback(user, 100, err::kInvalidParameter);
    return err::kInvalidParameter;
  }
  return ExtractRecordForPreview(ReaderOf(record), record, path, buffer, byte_count, callback,
                                 user);
}

}  // namespace vexlo
