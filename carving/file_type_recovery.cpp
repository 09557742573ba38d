#include "carving/file_type_recovery.h"

#include <algorithm>
#include <system_error>

#include "carving/formats/type_codes.h"
#include "carving/metadata_sector.h"
#include "carving/walk_window.h"
#include "engine/contiguous_copy.h"
#include "engine/file_categories.h"
#include "engine/recovered_file_path.h"
#include "engine/scan_history.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vexlo {
namespace {

constexpr std::size_t kRangeReadBytes = 65536;
// Longest preview path, in UTF-16 units, that the preview converters accept.
constexpr std::size_t kPreviewPathLimit = kPreviewPathCapacity;

}  // namespace

CFileTypeRecovery::CFileTypeRecovery(ScanHistory& history) : history_(history) {
  state_.metadata_test = carving::MetadataSectorTest;
}

CFileTypeRecovery::~CFileTypeRecovery() {
  store_.reset();
  CloseDiskHandle(disk_);
}

ErrorCode CFileTypeRecovery::OpenStore(const std::filesystem::path& folder,
                                       const std::string& record_file_name) {
  store_ = std::make_unique<ScanResultStore>();
  ErrorCode rc = store_->Open(folder, record_file_name);
  if (!rc.ok()) store_.reset();
  return rc;
}

ErrorCode CFileTypeRecovery::OpenNewStore(uint64_t log_start_sector) {
  return OpenStore(history_.CurrentFolder(), ScanLogFileName(kFileTypeLogPrefix, log_start_sector));
}

ErrorCode CFileTypeRecovery::OpenSource(const std::filesystem::path& image_path,
                                        uint16_t source_id) {
  store_.reset();
  source_id_ = source_id;
  partition_start_ = 0;
  partition_sectors_ = 0;
  CloseDiskHandle(disk_);
  return OpenImageFile(image_path, &disk_);
}

ErrorCode CFileTypeRecovery::OpenSource(uint32_t disk_number, uint64_t first_sector,
                                        uint64_t sector_count, uint16_t source_id) {
  store_.reset();
  source_id_ = source_id;
  partition_start_ = first_sector;
  partition_sectors_ = sector_count;
  CloseDiskHandle(disk_);
  return OpenPhysicalDisk(disk_number, &disk_);
}

ErrorCode CFileTypeRecovery::OpenImage(const std::filesystem::path& image_path,
                                       uint16_t source_id) {
  const ErrorCode rc = OpenSource(image_path, source_id);
  const ErrorCode store_rc = OpenNewStore(0);
  return rc.ok() ? store_rc : rc;
}

ErrorCode CFileTypeRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                           uint64_t sector_count, uint16_t source_id) {
  const ErrorCode rc = OpenSource(disk_number, first_sector, sector_count, source_id);
  const ErrorCode store_rc = OpenNewStore(first_sector);
  return rc.ok() ? store_rc : rc;
}

ErrorCode CFileTypeRecovery::SetProgressCallbacks(ScanProgressCallback scan,
                                                  RecoveryProgressCallback recovery, void* user,
                                                  int32_t scale) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  progress_scale_ = scale;
  state_.progress = scan;
  state_.progress_user = user;
  state_.progress_scale = scale;
  return err::kSuccess;
}

ErrorCode CFileTypeRecovery::Scan(const std::string*) { return err::kSuccess; }

ErrorCode CFileTypeRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                        std::vector<FoundFileRecord>* out) {
  if (!store_) return err::kSuccess;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  if (folder != nullptr || level != 0) return err::kSuccess;
  return store_->ListFolder(0, out);
}

ErrorCode CFileTypeRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                        uint32_t* count) {
  if (!store_) return err::kSuccess;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  if (folder != nullptr || level != 0) return err::kSuccess;
  uint64_t files = 0;
  const ErrorCode rc = store_->CountFiles(0, &files);
  *count = static_cast<uint32_t>(std::min<uint64_t>(files, UINT32_MAX));
  return rc;
}

uint64_t CFileTypeRecovery::GetRecordCount() { return store_ ? store_->Count() : 0; }

ErrorCode CFileTypeRecovery::GetFullPath(const FoundFileRecord&, std::string*) {
  return err::kSuccess;
}

ErrorCode CFileTypeRecovery::RecoverFile(const FoundFileRecord& record,
                                         const std::filesystem::path& destination, uint32_t) {
  return CopyContiguousToFile(disk_, {record.entry_sector, record.size, sector_bytes_}, destination,
                              recovery_callback_, user_);
}

int32_t CFileTypeRecovery::NextFreeRange(uint64_t*, uint64_t*) { return 0; }

ErrorCode CFileTypeRecovery::SetSearchCallback(SearchProgressCallback callback, void* user) {
  if (!store_) return err::kInvalidParameter;
  search_callback_ = callback;
  search_user_ = user;
  store_->SetSearchCallback(callback, user);
  return err::kSuccess;
}

ErrorCode CFileTypeRecovery::FindFiles(std::string_view type_filter,
                                       std::vector<FoundFileRecord>* out) {
  if (!store_) return err::kSuccess;
  return store_->SearchExtensions(type_filter, out);
}

ErrorCode CFileTypeRecovery::BuildUsedClusterBitmap() { return err::kSuccess; }

ErrorCode CFileTypeRecovery::ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                               uint8_t* buffer, uint32_t* byte_count,
                                               PreviewProgressCallback callback, void* user) {
  const std::string name(record.Name());
  const std::string extension = platform::ToLowerAscii(ExtensionOf(name));
  const std::filesystem::path folder = platform::ScanLogRoot();
  std::filesystem::path target;
  if (IsInList(kDocumentPreviewList, extension)) target = folder / SanitizeNameComponent(name);
  if (IsInList(kAudioList, extension) || IsInList(kVideoList, extension)) {
    target = folder / "tmp.avi";
  } else if (IsInList(kPhotoList, extension)) {
    target = folder / "tmp.jpg";
  }
  if (!target.empty() && platform::Utf8ToUtf16(target.string()).size() >= kPreviewPathLimit)
    target.clear();
  if (path != nullptr) *path = target.string();
  return ExtractContiguous(disk_, {record.entry_sector, record.size, sector_bytes_},
                           {target, buffer, byte_count}, callback, user);
}

ErrorCode CFileTypeRecovery::CarveSector(uint32_t sector_bytes, const uint8_t* sector,
                                         std::size_t length, uint64_t sector_number,
                                         const carving::ProgressPoint& progress, DiskHandle& source,
                                         uint64_t* skip_count, uint64_t* found_count) {
  sector_bytes_ = sector_bytes;
  *skip_count = 1;
  carving::Identification found;
  const ErrorCode identified = carving::IdentifyAtSector(
      state_, sector_bytes, &source, sector, length, sector_number, progress, *found_count, &found);
  // A cancelled length search still leaves a file worth listing, with the
  // length reached.
  if (!identified.ok() && identified != kCancelCode) return identified;
  if (!store_) return err::kInvalidParameter;
  FoundFileRecord* record = nullptr;
  if (ErrorCode rc = store_->NewRecord(&record); !rc.ok()) return rc;
  record->source_id = source_id_;
  record->fs_kind = static_cast<uint32_t>(FsKind::kCarving);
  record->content_check = 1;
  record->cluster_bytes = -1;
  record->size = found.length_bytes;
  record->entry_sector = sector_number;
  record->SetName(found.name);
  if (ErrorCode rc = store_->Relate(0, record->record_number, 0, std::nullopt); !rc.ok()) return rc;
  if (!carving::code::SkipsOneSectorOnly(found.type_code)) {
    // Never 0, so that the caller always moves on.
    *skip_count = std::max<uint64_t>(1, (found.length_bytes + sector_bytes - 1) / sector_bytes);
  }
  ++*found_count;
  return identified;
}

uint64_t CFileTypeRecovery::ResumeSector(uint64_t sector_number, uint64_t skip_count) {
  const uint64_t end = sector_number + skip_count;
  const carving::SearchTrail& trail = state_.trail;
  if (trail.file_start != sector_number || end >= trail.clear_end) return end;
  // As the identifications that found nothing there would have left it.
  state_.stream_continuation = true;
  state_.mts_flag = false;
  return trail.clear_end;
}

ErrorCode CFileTypeRecovery::CarveRange(uint64_t first_sector, uint64_t sector_count) {
  if (!store_ || !disk_.is_open()) return err::kInvalidParameter;
  const uint32_t sector_bytes = sector_bytes_;
  if (sector_bytes == 0 || kRangeReadBytes % sector_bytes != 0) return err::kInvalidParameter;
  carving::WalkWindow window(state_, sector_bytes, kRangeReadBytes);
  const uint64_t per_read = kRangeReadBytes / sector_bytes;
  const uint64_t end = first_sector + sector_count;
  uint64_t found_count = store_->Count();
  ErrorCode result = err::kSuccess;
  for (uint64_t sector = first_sector; sector < end;) {
    if (sector >= window.end()) {
      const uint64_t want = std::min(per_read, end - sector);
      uint64_t sectors_read = 0;
      const uint64_t held = window.Hold(disk_, sector, want, &sectors_read);
      if (scan_callback_ != nullptr) {
        const uint64_t done = sector - first_sector;
        const auto percent =
            static_cast<int32_t>(sector_count == 0 ? 100 : done * 100 / sector_count);
        if (scan_callback_(user_, percent, progress_scale_, -1, done, sector_count, found_count,
                           0) == kCancelCode) {
          result = kCancelCode;
          break;
        }
      }
      if (held == 0) {
        sector += want;  // unreadable: carving goes on behind it
        continue;
      }
    }
    uint64_t skip = 1;
    const ErrorCode rc =
        CarveSector(sector_bytes, window.At(sector), sector_bytes, sector,
                    {sector - first_sector, sector_count, -1}, disk_, &skip, &found_count);
    if (rc == kCancelCode) {
      result = kCancelCode;
      break;
    }
    if (rc.ok()) {
      sector = ResumeSector(sector, skip);
      window.Absorb(sector);
    } else {
      sector += skip;
    }
  }
  const ErrorCode flushed = store_->Flush();
  return result == kCancelCode ? result : flushed;
}

}  // namespace vexlo
