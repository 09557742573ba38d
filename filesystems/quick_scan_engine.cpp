#include "filesystems/quick_scan_engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "carving/formats/signature_table.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"
#include "filesystems/record_output.h"
#include "platform/file.h"

namespace vexlo {
namespace {

// Progress during the walk: the tree's size is unknown, so the bar creeps
// forward at most every 5 s and the final stages are fixed.
constexpr auto kProgressInterval = std::chrono::milliseconds(5000);
constexpr int32_t kWalkProgressCeiling = 79;
constexpr int32_t kEmitProgress = 80;
constexpr int32_t kDoneProgress = 100;

ErrorCode CreateFolders(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? FromErrno(error.value()) : ErrorCode(err::kSuccess);
}

bool AllZero(std::span<const uint8_t> bytes) {
  return bytes.empty() ||
         (bytes[0] == 0 && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0);
}

}  // namespace

QuickScanEngine::~QuickScanEngine() { store_.reset(); }

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
  sector_bytes_ = bps;
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

ErrorCode QuickScanEngine::OpenStore(const std::string& record_file_name) {
  store_.reset();
  auto store = std::make_unique<ScanResultStore>();
  if (ErrorCode rc = store->Open(ScanHistory::Instance().CurrentFolder(), record_file_name);
      !rc.ok()) {
    return rc;
  }
  store->SetSearchCallback(search_callback_, search_user_);
  store_ = std::move(store);
  return err::kSuccess;
}

int32_t QuickScanEngine::ReportScan(int32_t progress, int32_t remaining_seconds) {
  if (scan_callback_ == nullptr) return 0;
  return scan_callback_(user_, progress, scale_, remaining_seconds, 0, 0, 0, 0);
}

ErrorCode QuickScanEngine::Scan(const std::string* earlier_record_file) {
  if (earlier_record_file != nullptr) return OpenStore(*earlier_record_file);
  if (!opened_) return open_result_.ok() ? ErrorCode(err::kInvalidParameter) : open_result_;
  if (ErrorCode rc = OpenStore(UnusedScanLogFileName(kFastLogPrefix, log_start_sector_,
                                                     ScanHistory::Instance().CurrentFolder()));
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
                                             &disk(), sector_bytes_, number);
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

ErrorCode QuickScanEngine::RecoverFile(const FoundFileRecord& record,
                                       const std::filesystem::path& destination,
                                       uint32_t /*root_separator_count*/) {
  if (!opened_) return err::kInvalidParameter;
  if (record.is_folder != 0) {
    return CopyFolderTree(store_.get(), record, destination,
                          [this](const FoundFileRecord& file, const std::filesystem::path& path) {
                            return CopyFile(file, path);
                          });
  }
  if (ErrorCode rc = CreateFolders(destination.parent_path()); !rc.ok()) return rc;
  return CopyFile(record, destination);
}

ErrorCode QuickScanEngine::CopyFile(const FoundFileRecord& record,
                                    const std::filesystem::path& destination) {
  const std::string shown = destination.string();
  auto report = [&](int32_t percent, int32_t status) -> int32_t {
    if (recovery_callback_ == nullptr) return 0;
    return recovery_callback_(user_, percent, 100, status, shown.c_str());
  };
  platform::File out;
  ErrorCode rc = out.Open(destination, platform::File::Mode::kCreateTruncate);
  if (rc.ok()) {
    const uint64_t size = record.size;
    uint64_t delivered = 0;
    // Runs of zeros (the never-written tail of a large video, a sparse
    // region) become holes instead of bytes on the destination; the final
    // length is set once the copy is done.
    rc = ReadData(record, size, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
      if (!AllZero(bytes)) {
        if (ErrorCode w = out.WriteAt(done - bytes.size(), bytes); !w.ok()) return w;
      }
      delivered = done;
      const auto percent = static_cast<int32_t>(done * 100 / size);
      return percent < 100 ? report(percent, 0) : 0;
    });
    // A chain that ended before the size did still finishes the file with
    // what it held, and the window must hear that it finished (once the
    // file has its length, since the window may look at it).
    if (rc.ok()) rc = out.Truncate(delivered);
    if (rc.ok()) return report(100, 0);
  }
  if (rc > 0) (void)report(100, rc);
  return rc;
}

ErrorCode QuickScanEngine::ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                             uint8_t* buffer, uint32_t* byte_count,
                                             PreviewProgressCallback callback, void* user) {
  auto report = [&](int32_t percent, int32_t status) -> int32_t {
    return callback != nullptr ? callback(user, percent, status) : 0;
  };
  const uint32_t capacity = *byte_count;
  *byte_count = 0;
  path->clear();
  if (!opened_ || record.is_folder != 0) {
    (void)report(100, err::kInvalidParameter);
    return err::kInvalidParameter;
  }
  const std::filesystem::path target = PreviewTargetFor(record.Name());
  ErrorCode rc = err::kSuccess;
  if (target.empty()) {
    const uint64_t total = std::min(uint64_t{record.size}, uint64_t{capacity});
    rc = ReadData(record, total, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
      std::copy(bytes.begin(), bytes.end(), buffer + (done - bytes.size()));
      *byte_count = static_cast<uint32_t>(done);
      return report(static_cast<int32_t>(done * 100 / total), 0);
    });
  } else {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    platform::File out;
    rc = CreateFolders(target.parent_path());
    if (rc.ok()) rc = out.Open(target, platform::File::Mode::kCreateTruncate);
    if (rc.ok()) {
      const uint64_t total = record.size;
      rc = ReadData(record, total, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
        if (ErrorCode w = out.WriteAt(done - bytes.size(), bytes); !w.ok()) return w;
        return report(static_cast<int32_t>(done * 100 / total), 0);
      });
      out.Close();
    }
    if (rc.ok()) {
      *path = target.string();
    } else {
      std::filesystem::remove(target, ignored);
    }
  }
  if (rc > 0) (void)report(100, rc);
  return rc;
}

}  // namespace vexlo
