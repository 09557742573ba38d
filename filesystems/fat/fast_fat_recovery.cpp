#include "filesystems/fat/fast_fat_recovery.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <system_error>
#include <unordered_set>

#include "carving/formats/signature_table.h"
#include "engine/file_categories.h"
#include "engine/recovered_file_path.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"
#include "filesystems/fat/fat_directory_walker.h"
#include "filesystems/fat/fat_file_copy.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vexlo {
namespace {

// Progress during the walk: the volume's size in directories is unknown, so
// the bar creeps forward at most every 5 s and the final stages are fixed.
constexpr auto kProgressInterval = std::chrono::milliseconds(5000);
constexpr int32_t kWalkProgressCeiling = 79;
constexpr int32_t kEmitProgress = 80;
constexpr int32_t kDoneProgress = 100;

ErrorCode CreateFolders(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? FromErrno(error.value()) : ErrorCode(err::kSuccess);
}

// Where a preview gets a record's data: documents and archives a file of
// their own name in the scan-log folder (the converters need one), sound and
// video "tmp.avi", pictures "tmp.jpg"; anything else, and a name without an
// extension, memory (an empty path).
std::filesystem::path PreviewTargetPath(std::string_view name) {
  const std::string extension = platform::ToLowerAscii(ExtensionOf(name));
  const std::filesystem::path folder = platform::ScanLogRoot();
  std::filesystem::path target;
  if (extension.empty()) return target;
  if (IsInList(kDocumentPreviewList, extension)) target = folder / SanitizeNameComponent(name);
  if (IsInList(kAudioList, extension) || IsInList(kVideoList, extension)) {
    target = folder / "tmp.avi";
  } else if (IsInList(kPhotoList, extension)) {
    target = folder / "tmp.jpg";
  }
  if (target.native().size() >= kPreviewPathCapacity) return {};
  return target;
}

}  // namespace

CFastFatRecovery::CFastFatRecovery() = default;

CFastFatRecovery::~CFastFatRecovery() {
  store_.reset();
  CloseDiskHandle(volume_.disk);
}

ErrorCode CFastFatRecovery::OpenImage(const std::filesystem::path& image_path, uint16_t source_id) {
  if (opened_) return err::kSuccess;
  volume_.source_id = source_id;
  log_start_sector_ = 0;
  if (ErrorCode rc = OpenImageFile(image_path, &volume_.disk); !rc.ok()) {
    open_result_ = rc;
    return rc;
  }
  open_result_ = OpenVolume(0, volume_.disk.total_sectors);
  return open_result_;
}

ErrorCode CFastFatRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                          uint64_t sector_count, uint16_t source_id) {
  if (opened_) return err::kSuccess;
  volume_.source_id = source_id;
  log_start_sector_ = first_sector;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &volume_.disk); !rc.ok()) {
    CloseDiskHandle(volume_.disk);
    open_result_ = rc;
    return rc;
  }
  open_result_ = OpenVolume(first_sector, sector_count);
  return open_result_;
}

ErrorCode CFastFatRecovery::OpenVolume(uint64_t first_device_sector, uint64_t device_sectors) {
  DiskHandle& disk = volume_.disk;
  const uint32_t device_bytes = disk.device_sector_bytes;
  std::vector<uint8_t> boot(fat::kBootSectorReadBytes, 0);
  const uint64_t available =
      disk.total_sectors > first_device_sector ? disk.total_sectors - first_device_sector : 0;
  const uint64_t want = std::min<uint64_t>(fat::kBootSectorReadBytes / device_bytes, available);
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, disk, boot.data(), first_device_sector, device_bytes, &sectors_read);
  if (sectors_read * device_bytes < 512) {
    CloseDiskHandle(disk);
    return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  }
  if (rc = fat::ParseFatBootSector(boot, &volume_.geometry); !rc.ok()) {
    CloseDiskHandle(disk);
    return rc;
  }
  // From here on the volume is read in its own sector size; the partition's
  // place on the disk must be expressible in it.
  const uint32_t bps = volume_.geometry.bytes_per_sector;
  const uint64_t start_bytes = first_device_sector * device_bytes;
  if (start_bytes % bps != 0) {
    CloseDiskHandle(disk);
    return err::kInvalidParameter;
  }
  volume_.partition_start = start_bytes / bps;
  volume_.partition_sectors = device_sectors * device_bytes / bps;
  fat_.Open(&disk, volume_.partition_start + volume_.geometry.reserved_sectors, volume_.geometry);
  carving_.sector_bytes = bps;
  carving_.source = &disk;
  opened_ = true;
  return err::kSuccess;
}

ErrorCode CFastFatRecovery::SetProgressCallbacks(ScanProgressCallback scan,
                                                 RecoveryProgressCallback recovery, void* user,
                                                 int32_t scale) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  scale_ = scale;
  return err::kSuccess;
}

ErrorCode CFastFatRecovery::OpenStore(const std::string& record_file_name) {
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

int32_t CFastFatRecovery::ReportScan(int32_t progress, int32_t remaining_seconds) {
  if (scan_callback_ == nullptr) return 0;
  return scan_callback_(user_, progress, scale_, remaining_seconds, 0, 0, 0, 0);
}

ErrorCode CFastFatRecovery::Scan(const std::string* earlier_record_file) {
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
  fat::FatDirectoryWalker walker(
      volume_, fat_, *store_,
      [this](std::span<const uint8_t> sector, std::string_view extension, uint64_t number) {
        return carving::CheckTypeByExtension(carving_, sector.data(), sector.size(), extension,
                                             &volume_.disk, volume_.geometry.bytes_per_sector,
                                             number);
      });
  if (const int32_t answer = walker.Walk(after_directory); answer != 0) return answer;
  if (const int32_t answer = ReportScan(kEmitProgress, 10); answer != 0) return answer;
  if (ErrorCode rc = walker.EmitFolders(); !rc.ok()) return rc;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  return ReportScan(kDoneProgress, 0);
}

ErrorCode CFastFatRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                       std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, volume_.geometry.root_cluster, out);
}

ErrorCode CFastFatRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                       uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, volume_.geometry.root_cluster, count);
}

uint64_t CFastFatRecovery::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode CFastFatRecovery::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode CFastFatRecovery::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode CFastFatRecovery::FindFiles(std::string_view type_filter,
                                      std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

ErrorCode CFastFatRecovery::BuildUsedClusterBitmap() {
  if (opened_) bitmap_.Build(fat_, volume_.geometry);
  return err::kSuccess;
}

int32_t CFastFatRecovery::NextFreeRange(uint64_t* sector, uint64_t* length_sectors) {
  if (!bitmap_.built()) return 0;
  bitmap_.NextFreeRange(volume_.geometry, volume_.partition_sectors, sector, length_sectors);
  return 1;
}

uint32_t CFastFatRecovery::LevelOf(const FoundFileRecord& folder) const {
  if (!store_) return 1;
  for (const auto& [parent, records] : store_->relation_map()) {
    const RecordNumber number = folder.record_number;  // packed: no reference to it
    if (std::find(records.begin(), records.end(), number) != records.end()) {
      return FolderKeyLevel(parent) + 1;
    }
  }
  return 1;
}

ErrorCode CFastFatRecovery::RecoverFile(const FoundFileRecord& record,
                                        const std::filesystem::path& destination,
                                        uint32_t /*root_separator_count*/) {
  if (!opened_) return err::kInvalidParameter;
  if (record.is_folder != 0) return CopyFolder(record, destination);
  if (ErrorCode rc = CreateFolders(destination.parent_path()); !rc.ok()) return rc;
  return CopyFile(record, destination);
}

ErrorCode CFastFatRecovery::CopyFolder(const FoundFileRecord& folder,
                                       const std::filesystem::path& destination) {
  if (ErrorCode rc = CreateFolders(destination); !rc.ok()) return rc;
  struct Pending {
    FoundFileRecord folder;
    std::filesystem::path path;
    uint32_t level;
  };
  std::deque<Pending> queue;
  queue.push_back({folder, destination, LevelOf(folder)});
  // A damaged index could file a folder inside itself; each is copied once.
  std::unordered_set<RecordNumber> visited{folder.record_number};
  std::vector<FoundFileRecord> children;
  while (!queue.empty()) {
    const Pending current = std::move(queue.front());
    queue.pop_front();
    children.clear();
    if (ErrorCode rc = ListFolder(&current.folder, current.level, &children); !rc.ok()) continue;
    for (const FoundFileRecord& child : children) {
      const std::filesystem::path path = current.path / SanitizeNameComponent(child.Name());
      if (child.is_folder != 0) {
        if (!visited.insert(RecordNumber{child.record_number}).second) continue;
        if (CreateFolders(path).ok()) queue.push_back({child, path, current.level + 1});
        continue;
      }
      if (CopyFile(child, path) == kCancelCode) return kCancelCode;
    }
  }
  return err::kSuccess;
}

ErrorCode CFastFatRecovery::CopyFile(const FoundFileRecord& record,
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
    bool reported_done = false;
    ErrorCode write_error = err::kSuccess;
    rc = fat::ReadFileData(volume_, fat_, record, size,
                           [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
                             write_error = out.WriteAt(done - bytes.size(), bytes);
                             if (!write_error.ok()) return write_error;
                             const auto percent = static_cast<int32_t>(done * 100 / size);
                             reported_done = percent == 100;
                             return report(percent, 0);
                           });
    // A chain that ended before the size did still finishes the file with
    // what it held, and the window must hear that it finished.
    if (rc.ok() && !reported_done) return report(100, 0);
  }
  if (rc > 0) (void)report(100, rc);
  return rc;
}

ErrorCode CFastFatRecovery::ExtractForPreview(const FoundFileRecord& record, std::string* path,
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
  const std::filesystem::path target = PreviewTargetPath(record.Name());
  ErrorCode rc = err::kSuccess;
  if (target.empty()) {
    const uint64_t total = std::min(uint64_t{record.size}, uint64_t{capacity});
    rc = fat::ReadFileData(volume_, fat_, record, total,
                           [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
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
      rc = fat::ReadFileData(volume_, fat_, record, total,
                             [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
                               if (ErrorCode w = out.WriteAt(done - bytes.size(), bytes); !w.ok()) {
                                 return w;
                               }
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
