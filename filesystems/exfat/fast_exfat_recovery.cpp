#include "filesystems/exfat/fast_exfat_recovery.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "carving/formats/signature_table.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"
#include "filesystems/fat/fat_bytes.h"
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

}  // namespace

CFastExFatRecovery::CFastExFatRecovery() = default;

CFastExFatRecovery::~CFastExFatRecovery() {
  store_.reset();
  CloseDiskHandle(volume_.disk);
}

ErrorCode CFastExFatRecovery::OpenImage(const std::filesystem::path& image_path,
                                        uint16_t source_id) {
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

ErrorCode CFastExFatRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
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

ErrorCode CFastExFatRecovery::OpenVolume(uint64_t first_device_sector, uint64_t device_sectors) {
  DiskHandle& disk = volume_.disk;
  const uint32_t device_bytes = disk.device_sector_bytes;
  std::vector<uint8_t> boot(exfat::kBootSectorReadBytes, 0);
  const uint64_t available =
      disk.total_sectors > first_device_sector ? disk.total_sectors - first_device_sector : 0;
  const uint64_t want = std::min<uint64_t>(exfat::kBootSectorReadBytes / device_bytes, available);
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, disk, boot.data(), first_device_sector, device_bytes, &sectors_read);
  if (sectors_read * device_bytes < 512) {
    CloseDiskHandle(disk);
    return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  }
  if (rc = exfat::ParseExFatBootSector(boot, &volume_.geometry); !rc.ok()) {
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
  volume_.OpenFat();
  carving_.sector_bytes = bps;
  carving_.source = &disk;
  opened_ = true;
  return err::kSuccess;
}

ErrorCode CFastExFatRecovery::SetProgressCallbacks(ScanProgressCallback scan,
                                                   RecoveryProgressCallback recovery, void* user,
                                                   int32_t scale) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  scale_ = scale;
  return err::kSuccess;
}

ErrorCode CFastExFatRecovery::OpenStore(const std::string& record_file_name) {
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

int32_t CFastExFatRecovery::ReportScan(int32_t progress, int32_t remaining_seconds) {
  if (scan_callback_ == nullptr) return 0;
  return scan_callback_(user_, progress, scale_, remaining_seconds, 0, 0, 0, 0);
}

ErrorCode CFastExFatRecovery::Scan(const std::string* earlier_record_file) {
  if (earlier_record_file != nullptr) return OpenStore(*earlier_record_file);
  if (!opened_) return open_result_.ok() ? ErrorCode(err::kInvalidParameter) : open_result_;
  if (ErrorCode rc = OpenStore(UnusedScanLogFileName(kFastLogPrefix, log_start_sector_,
                                                     ScanHistory::Instance().CurrentFolder()));
      !rc.ok())
    return rc;
  if (const int32_t answer = ReportScan(1, -1); answer != 0) return answer;

  // Scale 100 counts up from 2 with a countdown of seconds; the formatted
  // driver's scale 9 counts up from 21; other scales get no intermediate
  // reports.
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
  exfat::ExFatDirectoryWalker walker(
      volume_, *store_,
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

ErrorCode CFastExFatRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                         std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, volume_.geometry.root_cluster, out);
}

ErrorCode CFastExFatRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                         uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, volume_.geometry.root_cluster, count);
}

uint64_t CFastExFatRecovery::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode CFastExFatRecovery::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode CFastExFatRecovery::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode CFastExFatRecovery::FindFiles(std::string_view type_filter,
                                        std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

ErrorCode CFastExFatRecovery::BuildUsedClusterBitmap() {
  if (!opened_) return err::kSuccess;
  const exfat::ExFatGeometry& g = volume_.geometry;
  const exfat::BitmapLocation where = exfat::FindAllocationBitmap(volume_);
  // A bitmap that is missing or shorter than the heap leaves the clusters it
  // does not cover marked used (see Assign): nothing unknown is carved.
  std::vector<uint8_t> bits;
  const uint64_t wanted = std::min<uint64_t>(where.length, (uint64_t{g.cluster_count} + 7) / 8);
  exfat::DataPlacement placement{where.first_cluster, false, wanted, wanted};
  (void)exfat::ReadFileData(volume_, placement, wanted,
                            [&bits](std::span<const uint8_t> bytes, uint64_t) -> int32_t {
                              bits.insert(bits.end(), bytes.begin(), bytes.end());
                              return 0;
                            });
  bitmap_.Assign(std::move(bits), g.cluster_count);
  return err::kSuccess;
}

int32_t CFastExFatRecovery::NextFreeRange(uint64_t* sector, uint64_t* length_sectors) {
  if (!bitmap_.built()) return 0;
  bitmap_.NextFreeRange(volume_.fat_geometry, volume_.partition_sectors, sector, length_sectors);
  return 1;
}

exfat::DataPlacement CFastExFatRecovery::PlacementOf(const FoundFileRecord& record) {
  const uint64_t size = record.size;
  exfat::DataPlacement placement{record.key, false, size, size};
  // The stream extension says whether the data are chained and how much of
  // them was written; the record does not keep either.
  const exfat::ExFatGeometry& g = volume_.geometry;
  const uint64_t entry_sector = record.entry_sector;
  if (entry_sector < volume_.partition_start) return placement;
  std::vector<uint8_t> sector(g.bytes_per_sector);
  uint64_t sectors_read = 0;
  (void)volume_.Read(entry_sector - volume_.partition_start, 1, sector.data(), &sectors_read);
  if (sectors_read != 1) return placement;
  for (std::size_t at = 0; at < sector.size(); at += exfat::kEntryBytes) {
    const uint8_t* entry = sector.data() + at;
    const uint64_t length =
        uint64_t{fat::Le32(entry + 24)} | (uint64_t{fat::Le32(entry + 28)} << 32);
    const uint64_t valid = uint64_t{fat::Le32(entry + 8)} | (uint64_t{fat::Le32(entry + 12)} << 32);
    if (exfat::BaseType(entry) != exfat::kTypeStream || fat::Le32(entry + 20) != record.key ||
        length != size || valid > length) {
      continue;
    }
    placement.contiguous = (entry[1] & exfat::kFlagNoFatChain) != 0;
    placement.valid_length = valid;
    break;
  }
  return placement;
}

ErrorCode CFastExFatRecovery::RecoverFile(const FoundFileRecord& record,
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

ErrorCode CFastExFatRecovery::CopyFile(const FoundFileRecord& record,
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
    rc = exfat::ReadFileData(volume_, PlacementOf(record), size,
                             [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
                               if (ErrorCode w = out.WriteAt(done - bytes.size(), bytes); !w.ok()) {
                                 return w;
                               }
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

ErrorCode CFastExFatRecovery::ExtractForPreview(const FoundFileRecord& record, std::string* path,
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
  const exfat::DataPlacement placement = PlacementOf(record);
  ErrorCode rc = err::kSuccess;
  if (target.empty()) {
    const uint64_t total = std::min(uint64_t{record.size}, uint64_t{capacity});
    rc = exfat::ReadFileData(
        volume_, placement, total, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
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
      rc = exfat::ReadFileData(
          volume_, placement, total, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
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
