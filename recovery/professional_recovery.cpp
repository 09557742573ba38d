#include "recovery/professional_recovery.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <string_view>

#include "carving/formats/signature_table.h"
#include "engine/record_order.h"
#include "engine/scan_history.h"
#include "engine/store_backed_engine.h"
#include "ondisk/ntfs_file_record.h"
#include "platform/disk_table.h"
#include "platform/file.h"
#include "recovery/engine_factory.h"
#include "recovery/record_dedupe.h"
#include "recovery/sector_router.h"
#include "storage/medium_fingerprint.h"
#include "storage/partition_lookup.h"

namespace vexlo {
namespace {

constexpr int32_t kDriverScale = 90;
constexpr int32_t kQuickScale = 9;
// A file record that straddles a chunk is read again in one piece this long.
constexpr std::size_t kStraddleReadBytes = 8192;
// Least time between two progress reports while the walk tries unreadable
// sectors one by one.
constexpr auto kBadStretchReportInterval = std::chrono::milliseconds(200);

std::string LowerExtension(std::string_view name) {
  std::string extension(ExtensionOf(name));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// A search of one engine, judging what it finds or not; an engine that
// keeps no store judges as its FindFiles does.
ErrorCode SearchOf(IFileRecoveryParse& engine, std::string_view type_filter, bool judge,
                   std::vector<FoundFileRecord>* out) {
  auto* backed = judge ? nullptr : dynamic_cast<StoreBackedEngine*>(&engine);
  return backed != nullptr ? backed->FindFilesUnjudged(type_filter, out)
                           : engine.FindFiles(type_filter, out);
}

}  // namespace

CProfessionalRecovery::CProfessionalRecovery(ScanHistory& history)
    : history_(history),
      fat_(history),
      ntfs_(history),
      carving_(history),
      record_buffer_(kStraddleReadBytes) {
  carving_.set_sector_bytes(512);
  carving_.SetHandledElsewhere(RoutedAwayFromCarvingUnlessMetadata);
}

CProfessionalRecovery::~CProfessionalRecovery() {
  quick_.reset();
  CloseDiskHandle(disk_);
}

ErrorCode CProfessionalRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                               uint64_t sector_count, uint16_t source_id) {
  disk_number_ = disk_number;
  partition_start_ = first_sector;
  partition_sectors_ = sector_count;
  source_id_ = source_id;
  image_path_.clear();
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk_); !rc.ok()) return rc;
  sector_bytes_ = disk_.device_sector_bytes;
  opened_ = true;
  LookUpHistory();
  (void)fat_.OpenPartition(disk_number, first_sector, sector_count, source_id);
  const ErrorCode ntfs_rc = ntfs_.OpenPartition(disk_number, first_sector, sector_count, source_id);
  quick_ = CreateEngineForPartition(history_, disk_number, first_sector, sector_count, source_id,
                                    kQuickScanMode);
  return ntfs_rc;
}

ErrorCode CProfessionalRecovery::OpenImagePartition(const std::filesystem::path& image_path,
                                                    uint64_t first_sector, uint64_t sector_count,
                                                    uint16_t source_id) {
  if (ErrorCode rc = OpenImageFile(image_path, &disk_); !rc.ok()) return rc;
  source_id_ = source_id;
  disk_number_ = kImageDiskNumber;
  sector_bytes_ = 512;
  partition_start_ = first_sector;
  partition_sectors_ = SectorsOnDisk(disk_, first_sector, sector_count);
  image_path_ = image_path;
  opened_ = true;
  LookUpHistory();
  (void)fat_.OpenImagePartition(image_path, first_sector, partition_sectors_, source_id);
  const ErrorCode ntfs_rc =
      ntfs_.OpenImagePartition(image_path, first_sector, partition_sectors_, source_id);
  quick_ = CreateEngineForImage(history_, image_path, first_sector, partition_sectors_, source_id,
                                kQuickScanMode);
  return ntfs_rc;
}

void CProfessionalRecovery::LookUpHistory() {
  std::string identity;
  if (image_path_.empty()) {
    const std::vector<platform::DiskInfo> disks = platform::ListWholeDisks();
    if (disk_number_ < disks.size()) identity = platform::DiskIdentity(disks[disk_number_]);
  }
  MediumFingerprint fingerprint;
  fingerprint_.reset();
  if (FingerprintMedium(disk_, partition_start_, partition_sectors_, sector_bytes_, identity,
                        &fingerprint)
          .ok()) {
    fingerprint_ = fingerprint;
  }
  saved_ =
      image_path_.empty()
          ? history_.FindDiskEntry(
                disk_number_, partition_start_, partition_sectors_,
                PartitionFreeBytes(disk_number_, partition_start_, sector_bytes_), fingerprint_)
          : history_.FindImageEntry(image_path_, partition_start_, partition_sectors_,
                                    fingerprint_);
}

void CProfessionalRecovery::ForgetSavedScan() {
  if (!saved_) return;
  (void)history_.RemoveFolder(saved_->folder);
  saved_.reset();
}

ErrorCode CProfessionalRecovery::SetProgressCallbacks(ScanProgressCallback scan,
                                                      RecoveryProgressCallback recovery, void* user,
                                                      int32_t /*scale*/) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  if (quick_) (void)quick_->SetProgressCallbacks(scan, recovery, user, kQuickScale);
  (void)fat_.SetProgressCallbacks(scan, recovery, user, kDriverScale);
  (void)ntfs_.SetProgressCallbacks(scan, recovery, user, kDriverScale);
  (void)carving_.SetProgressCallbacks(scan, recovery, user, kDriverScale);
  return err::kSuccess;
}

ErrorCode CProfessionalRecovery::Scan(const std::string* /*earlier_record_file*/) {
  if (!opened_) return err::kInvalidParameter;
  const bool continuing = saved_.has_value();
  continued_scan_ = continuing;
  sectors_read_ = 0;
  medium_answered_ = false;
  unreadable_sectors_ = continuing ? saved_->position.unreadable_sectors : 0;
  const uint64_t unreadable_before = unreadable_sectors_;
  if (continuing) {
    history_.ContinueScan(*saved_);
  } else {
    history_.BeginNewScan();
  }
  const std::filesystem::path folder = history_.CurrentFolder();

  bool free_extent_mode = false;
  if (ErrorCode rc = QuickPhase(folder, &free_extent_mode); !rc.ok()) {
    if (!continuing) history_.GiveBackFolderNumber();
    return rc;
  }
  if (ErrorCode rc = OpenMemberLogs(folder, continuing); !rc.ok()) {
    if (!continuing) history_.GiveBackFolderNumber();
    return rc;
  }
  if (continuing) {
    const ScanPosition& at = saved_->position;
    carving_.ContinueAt(partition_start_ + at.extent_position + at.extent_offset,
                        {at.stream_continuation, at.mts_flag});
  }

  Progress progress;
  ErrorCode result = MainPhase(free_extent_mode, &progress);
  // A medium that gave nothing at all (a dead card, or one pulled out before
  // the walk reached it) was not scanned: that is no result to keep. What a
  // new quick phase read of the file system counts as something.
  const bool quick_phase_read = quick_ != nullptr && !continuing;
  const bool nothing_read = result != kCancelCode && !medium_answered_ && !quick_phase_read &&
                            unreadable_sectors_ > unreadable_before;
  if (result.ok() && nothing_read) result = err::kReadFault;
  if (result.ok()) {
    (void)fat_.Finish();
    (void)ntfs_.Finish();
    if (scan_callback_ != nullptr) {
      const uint64_t found = listed_filter_ ? ExactListedCount() : FoundCount();
      (void)scan_callback_(user_, 100, 100, 0, progress.sectors_done, progress.sectors_total, found,
                           0);
    }
  }
  if (nothing_read) {
    if (!continuing) history_.GiveBackFolderNumber();
  } else {
    SaveHistory(progress, folder);
  }
  saved_.reset();
  return result;
}

ErrorCode CProfessionalRecovery::QuickPhase(const std::filesystem::path& folder,
                                            bool* free_extent_mode) {
  *free_extent_mode = false;
  if (!quick_) return err::kSuccess;
  (void)quick_->SetProgressCallbacks(scan_callback_, nullptr, user_, kQuickScale);
  if (listed_filter_) (void)vexlo::CountListedFiles(*quick_, *listed_filter_, listed_chosen_);
  const bool has_bitmap = quick_->BuildUsedClusterBitmap().ok();
  std::optional<std::string> earlier;
  if (saved_) earlier = FindLogFile(kFastLogPrefix, folder);
  const ErrorCode rc = quick_->Scan(earlier ? &*earlier : nullptr);
  if (!rc.ok()) return rc;
  // An engine that keeps no free-space map (the ext placeholder) answers the
  // bitmap request but never a free range: scan such a volume whole.
  uint64_t position = 0;
  uint64_t length = 0;
  *free_extent_mode = has_bitmap && quick_->NextFreeRange(&position, &length) == 1;
  return err::kSuccess;
}

ErrorCode CProfessionalRecovery::OpenMemberLogs(const std::filesystem::path& folder,
                                                bool continuing) {
  carving_.set_sector_bytes(sector_bytes_);
  const ErrorCode open_rc =
      image_path_.empty()
          ? carving_.OpenSource(disk_number_, partition_start_, partition_sectors_, source_id_)
          : carving_.OpenSource(image_path_, partition_start_, partition_sectors_, source_id_);
  if (!open_rc.ok()) return open_rc;
  std::optional<std::string> carving_log, fat_log, ntfs_log;
  if (continuing) {
    carving_log = FindLogFile(kFileTypeLogPrefix, folder);
    fat_log = FindLogFile(kProFatLogPrefix, folder);
    ntfs_log = FindLogFile(kProNtfsLogPrefix, folder);
  }
  if (ErrorCode rc = carving_.StartScan(carving_log ? &*carving_log : nullptr); !rc.ok()) return rc;
  if (ErrorCode rc = fat_.Begin(fat_log ? &*fat_log : nullptr); !rc.ok()) return rc;
  if (ErrorCode rc = ntfs_.Begin(ntfs_log ? &*ntfs_log : nullptr); !rc.ok()) return rc;
  (void)fat_.Seed();
  return err::kSuccess;
}

uint64_t CProfessionalRecovery::FreeSpaceTotal() {
  uint64_t total = 0;
  uint64_t position = 0;
  for (;;) {
    uint64_t length = 0;
    if (quick_->NextFreeRange(&position, &length) != 1 || length == 0) break;
    total += length;
    position += length;
  }
  return total;
}

uint64_t CProfessionalRecovery::MediumEnd() const {
  // total_sectors counts the device's own sectors (512-byte units for images).
  const unsigned __int128 bytes =
      static_cast<unsigned __int128>(disk_.total_sectors) * disk_.device_sector_bytes;
  return static_cast<uint64_t>(bytes / sector_bytes_);
}

ErrorCode CProfessionalRecovery::MainPhase(bool free_extent_mode, Progress* p) {
  p->sectors_total = free_extent_mode ? FreeSpaceTotal() : partition_sectors_;
  if (free_extent_mode) {
    p->extent_position = 0;
    if (quick_->NextFreeRange(&p->extent_position, &p->extent_length) != 1) p->extent_length = 0;
  } else {
    p->extent_position = 0;
    p->extent_length = partition_sectors_;
  }
  bool restore = false;
  if (saved_) {
    p->extent_position = saved_->position.extent_position;
    p->extent_length = saved_->position.extent_length;
    restore = true;
  }
  clock_.Start();
  const uint64_t chunk_limit = plain_walk_ ? 1 : kScanChunkBytes / sector_bytes_;
  const uint64_t medium_end = MediumEnd();
  carving::WalkWindow window(carving_.carving_state(), sector_bytes_, chunk_limit * sector_bytes_);
  auto last_report = std::chrono::steady_clock::now();
  // What the walk has passed need not stay in the system's cache.
  uint64_t walked_from = UINT64_MAX;
  const auto forget_behind = [&](uint64_t absolute_sector) {
    if (walked_from < absolute_sector) {
      ForgetCachedSectors(disk_, walked_from, absolute_sector - walked_from, sector_bytes_);
    }
    walked_from = absolute_sector;
  };

  while (p->extent_length != 0) {
    uint64_t remaining = p->extent_length;
    p->extent_offset = 0;
    if (restore) {
      p->extent_offset = std::min(saved_->position.extent_offset, p->extent_length);
      p->sectors_done = saved_->position.sectors_done;
      remaining = p->extent_length - p->extent_offset;
      restore = false;
    }
    while (remaining > 0) {
      const uint64_t first = p->extent_position + p->extent_offset;
      const uint64_t absolute_first = partition_start_ + first;
      uint64_t chunk = std::min(chunk_limit, remaining);
      forget_behind(absolute_first);
      // Where an image's copy could not read, the image holds zeros and no
      // data: the walk steps over them, and no chunk reaches into them.
      uint64_t skip = 0;
      if (const KnownBadAreas* bad = disk_.known_bad.get()) {
        skip = bad->SectorsTouching(absolute_first, remaining, sector_bytes_);
        chunk = bad->SectorsBefore(absolute_first, chunk, sector_bytes_);
      }
      // A partition that claims more than the medium holds ends where the
      // medium does: nothing can be read behind that.
      const uint64_t readable = skip != 0 || absolute_first >= medium_end
                                    ? 0
                                    : std::min(chunk, medium_end - absolute_first);
      uint64_t read = 0;
      const uint64_t held = readable == 0 ? 0 : window.Hold(disk_, absolute_first, readable, &read);
      sectors_read_ += read;
      uint64_t step = 0;
      if (skip != 0) {
        // Known holes are neither read nor counted as unreadable here: the
        // copy that left them counted them.
        step = skip;
      } else if (held == 0) {
        // Only this sector is lost (all of the stretch behind the medium's
        // end); the walk tries the very next one.
        step = readable == 0 ? chunk : 1;
        unreadable_sectors_ += step;
        if (readable != 0 && !SourceStillReaches(disk_, (absolute_first + 1) * sector_bytes_)) {
          return err::kNotReady;
        }
      } else {
        medium_answered_ = true;
        uint64_t routed = 0;
        const uint64_t available = std::min(held, remaining);
        const ErrorCode rc =
            RouteChunk(window, window.At(absolute_first), available, first, *p, &routed);
        if (rc == kCancelCode) {
          p->extent_offset += routed;
          p->sectors_done += std::min(routed, remaining);
          return kCancelCode;
        }
        // A chunk cut short by an unreadable sector goes on at that sector.
        step = std::max(std::min(held, chunk), routed);
      }
      p->extent_offset += step;
      p->sectors_done += std::min(step, remaining);
      remaining = step >= remaining ? 0 : remaining - step;
      p->remaining_seconds = clock_.Update(p->sectors_done, p->sectors_total);
      // Unreadable sectors are tried one at a time; their reports are
      // spaced out in time, so that a cancel is still heard within a bad
      // stretch without flooding the window.
      const auto now = std::chrono::steady_clock::now();
      if (held != 0 || skip != 0 || now - last_report >= kBadStretchReportInterval) {
        last_report = now;
        if (int32_t answer = ReportProgress(*p); answer != 0) return answer;
      }
    }
    if (free_extent_mode) {
      p->extent_position += p->extent_length;
      p->extent_length = 0;
      if (quick_->NextFreeRange(&p->extent_position, &p->extent_length) != 1) {
        p->extent_length = 0;
      }
    } else {
      p->extent_position += p->extent_length;
      p->extent_length = 0;
    }
    p->extent_offset = 0;
  }
  forget_behind(std::min(partition_start_ + p->extent_position, medium_end));
  return err::kSuccess;
}

ErrorCode CProfessionalRecovery::RouteChunk(carving::WalkWindow& window, const uint8_t* chunk,
                                            uint64_t sector_count, uint64_t first_sector,
                                            const Progress& progress, uint64_t* routed) {
  const carving::ProgressPoint point{progress.sectors_done, progress.sectors_total,
                                     progress.remaining_seconds};
  uint64_t found = FoundCount();
  uint64_t index = 0;
  while (index < sector_count) {
    const uint8_t* sector = chunk + index * sector_bytes_;
    const uint64_t absolute = partition_start_ + first_sector + index;
    switch (RouteSector(sector, sector_bytes_)) {
      case SectorRoute::kNtfsFileRecord:
        HandFileRecord(chunk, index, sector_count, absolute);
        ++index;
        break;
      case SectorRoute::kNtfsFolderRecord:
        ++index;
        break;
      case SectorRoute::kFatDirectoryStart:
        fat_.DirectoryStart({sector, sector_bytes_}, absolute);
        ++index;
        break;
      case SectorRoute::kFatDirectoryData:
        fat_.DirectoryData({sector, sector_bytes_}, absolute);
        ++index;
        break;
      case SectorRoute::kCarve: {
        uint64_t skip = 1;
        const ErrorCode rc = carving_.CarveSector(sector_bytes_, sector, sector_bytes_, absolute,
                                                  point, disk_, &skip, &found);
        const uint64_t past_file = std::max<uint64_t>(skip, 1);
        if (rc == kCancelCode) {
          // The file is recorded with the length reached; a continued scan
          // resumes at its start and measures it again.
          *routed = index;
          return kCancelCode;
        }
        uint64_t resume = absolute + past_file;
        if (rc.ok() && !plain_walk_) {
          resume = carving_.ResumeSector(absolute, skip);
          window.Absorb(resume);
        }
        index = resume - partition_start_ - first_sector;
        break;
      }
    }
  }
  *routed = index;
  return err::kSuccess;
}

void CProfessionalRecovery::HandFileRecord(const uint8_t* chunk, uint64_t index,
                                           uint64_t sector_count, uint64_t absolute_sector) {
  const std::size_t available = (sector_count - index) * sector_bytes_;
  if (available >= ntfs::FileRecordBytes(sector_bytes_)) {
    (void)ntfs_.FileRecord({chunk + index * sector_bytes_, available}, absolute_sector);
    return;
  }
  // The record runs past the chunk: read it again in one piece.
  const uint64_t count = kStraddleReadBytes / sector_bytes_;
  uint64_t read = 0;
  (void)ReadSectors(count, disk_, record_buffer_.data(), absolute_sector, sector_bytes_, &read);
  if (read * sector_bytes_ >= ntfs::FileRecordBytes(sector_bytes_)) {
    (void)ntfs_.FileRecord({record_buffer_.data(), read * sector_bytes_}, absolute_sector);
  }
}

int32_t CProfessionalRecovery::ReportProgress(const Progress& p) {
  if (scan_callback_ == nullptr) return 0;
  const uint64_t total = p.sectors_total == 0 ? 1 : p.sectors_total;
  const auto progress =
      static_cast<int32_t>(std::min<uint64_t>(p.sectors_done, total) * 100 / total + 10);
  return scan_callback_(user_, progress, kDriverScale, p.remaining_seconds, p.sectors_done,
                        p.sectors_total, FoundCount(), 0);
}

uint64_t CProfessionalRecovery::FoundCount() {
  if (listed_filter_) return ListedFileCount();
  // Reopened stores continue their numbering, so the earlier records are
  // already counted: adding the saved found count would count them twice.
  return GetRecordCount();
}

void CProfessionalRecovery::CountListedFiles(std::string_view type_filter) {
  listed_filter_ = std::string(type_filter);
  if (quick_) (void)vexlo::CountListedFiles(*quick_, type_filter, listed_chosen_);
  fat_.CountListedFiles(type_filter);
  ntfs_.CountListedFiles(type_filter);
  carving_.CountListedFiles(type_filter);
}

bool CProfessionalRecovery::CountOnlyChosen(const RecordFilter& chosen) {
  listed_chosen_ = chosen;
  // The quick engine is told with its type filter, in CountListedFiles.
  bool all = fat_.CountOnlyChosen(chosen);
  all = ntfs_.CountOnlyChosen(chosen) && all;
  return carving_.CountOnlyChosen(chosen) && all;
}

uint64_t CProfessionalRecovery::ListedFileCount() {
  if (!listed_filter_) return 0;
  auto* quick = dynamic_cast<ListedFileCounter*>(quick_.get());
  return (quick != nullptr ? quick->ListedFileCount() : 0) + fat_.ListedFileCount() +
         ntfs_.ListedFileCount() + carving_.ListedFileCount();
}

uint64_t CProfessionalRecovery::ExactListedCount() {
  // Which files two engines both found only the merge can tell. It runs
  // without the search callback: no search was asked for. Nor does it judge
  // the photos, which would read each whole at the end of the scan.
  const SearchProgressCallback callback = search_callback_;
  void* const user = search_user_;
  (void)SetSearchCallback(nullptr, nullptr);
  std::vector<FoundFileRecord> listed;
  const ErrorCode rc = Search(*listed_filter_, false, &listed);
  (void)SetSearchCallback(callback, user);
  if (!rc.ok()) return ListedFileCount();
  std::erase_if(listed,
                [&](const FoundFileRecord& file) { return !listed_chosen_.Matches(file, {}); });
  return listed.size();
}

void CProfessionalRecovery::SaveHistory(const Progress& p, const std::filesystem::path& folder) {
  ScanSource source;
  source.disk_number = disk_number_;
  source.start_sector = partition_start_;
  source.sector_count = partition_sectors_;
  source.image_path = image_path_;
  if (image_path_.empty()) {
    source.free_bytes = PartitionFreeBytes(disk_number_, partition_start_, sector_bytes_);
  }
  ScanPosition position;
  position.extent_position = p.extent_position;
  position.extent_length = p.extent_length;
  position.extent_offset = p.extent_offset;
  position.sectors_done = p.sectors_done;
  position.found_count = FoundCount();
  position.unreadable_sectors = unreadable_sectors_;
  const carving::StreamHistory::Flags flags = carving_.carving_state().streams().flags();
  position.stream_continuation = flags.checks_continuation;
  position.mts_flag = flags.after_mts;
  source.fingerprint = fingerprint_;
  (void)history_.RecordScan(source, position, folder);
}

IFileRecoveryParse* CProfessionalRecovery::EngineFor(uint32_t fs_kind, bool include_carving) {
  switch (static_cast<FsKind>(fs_kind)) {
    case FsKind::kNtfsQuick:
    case FsKind::kFatQuick:
    case FsKind::kExFatQuick:
      return quick_.get();
    case FsKind::kNtfsFormatted:
      return &ntfs_;
    case FsKind::kFatFormatted:
      return &fat_;
    case FsKind::kCarving:
      return include_carving ? &carving_ : nullptr;
  }
  return nullptr;
}

ErrorCode CProfessionalRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                            std::vector<FoundFileRecord>* out) {
  const std::size_t first = out->size();
  if (folder != nullptr) {
    IFileRecoveryParse* engine = EngineFor(folder->fs_kind, false);
    if (engine == nullptr) return err::kSuccess;
    const ErrorCode rc = engine->ListFolder(folder, level, out);
    SortRecords(out, first);
    return rc;
  }
  if (level != 0) return err::kInvalidParameter;
  for (IFileRecoveryParse* engine :
       {quick_.get(), static_cast<IFileRecoveryParse*>(&fat_),
        static_cast<IFileRecoveryParse*>(&ntfs_), static_cast<IFileRecoveryParse*>(&carving_)}) {
    if (engine != nullptr) (void)engine->ListFolder(nullptr, 0, out);
  }
  SortRecords(out, first);
  return err::kSuccess;
}

ErrorCode CProfessionalRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                            uint32_t* count) {
  *count = 0;
  if (folder != nullptr) {
    IFileRecoveryParse* engine = EngineFor(folder->fs_kind, false);
    return engine == nullptr ? ErrorCode(err::kSuccess) : engine->CountFiles(folder, level, count);
  }
  if (level != 0) return err::kInvalidParameter;
  for (IFileRecoveryParse* engine :
       {quick_.get(), static_cast<IFileRecoveryParse*>(&fat_),
        static_cast<IFileRecoveryParse*>(&ntfs_), static_cast<IFileRecoveryParse*>(&carving_)}) {
    uint32_t part = 0;
    if (engine != nullptr && engine->CountFiles(nullptr, 0, &part).ok()) *count += part;
  }
  return err::kSuccess;
}

uint64_t CProfessionalRecovery::GetRecordCount() {
  return (quick_ ? quick_->GetRecordCount() : 0) + fat_.GetRecordCount() + ntfs_.GetRecordCount() +
         carving_.GetRecordCount();
}

ErrorCode CProfessionalRecovery::GetFullPath(const FoundFileRecord& record, std::string* path) {
  path->clear();
  IFileRecoveryParse* engine = EngineFor(record.fs_kind, false);
  return engine == nullptr ? ErrorCode(err::kSuccess) : engine->GetFullPath(record, path);
}

ErrorCode CProfessionalRecovery::RecoverFile(const FoundFileRecord& record,
                                             const std::filesystem::path& destination,
                                             uint32_t root_separator_count) {
  IFileRecoveryParse* engine = EngineFor(record.fs_kind, true);
  if (engine == nullptr) return err::kSuccess;
  // The fingerprint saw only a few sectors: a file found before the scan
  // was interrupted is written only while it still starts as it did then.
  if (continued_scan_ && !StillStartsAsFound(record)) {
    if (recovery_callback_ != nullptr) {
      (void)recovery_callback_(user_, 100, 100, err::kMediaChanged, destination.string().c_str(),
                               0);
    }
    return err::kMediaChanged;
  }
  return engine->RecoverFile(record, destination, root_separator_count);
}

bool CProfessionalRecovery::StillStartsAsFound(const FoundFileRecord& record) {
  const std::string extension = LowerExtension(record.Name());
  if (record.is_folder != 0 || record.content_check == 0 || record.size == 0 || extension.empty()) {
    return true;
  }
  const uint64_t entry_sector = record.entry_sector;  // packed: never bind it to a reference
  const std::optional<uint64_t> first = static_cast<FsKind>(record.fs_kind) == FsKind::kCarving
                                            ? std::optional<uint64_t>(entry_sector)
                                            : FirstDataSector(record);
  if (!first) return true;
  std::vector<uint8_t> sector(sector_bytes_);
  uint64_t read = 0;
  // An unreadable sector tells nothing about a change; the copy reports it.
  if (!ReadSectors(1, disk_, sector.data(), *first, sector_bytes_, &read).ok() || read != 1) {
    return true;
  }
  carving::CarvingState& state = carving_.carving_state();
  const carving::StreamHistory::Flags flags = state.streams().flags();
  const bool matches = carving::CheckTypeByExtension(state, sector.data(), sector.size(), extension,
                                                     &disk_, sector_bytes_, *first);
  state.streams().RestoreFlags(flags);
  return matches;
}

ErrorCode CProfessionalRecovery::ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                                   uint8_t* buffer, uint32_t* byte_count,
                                                   PreviewProgressCallback callback, void* user) {
  IFileRecoveryParse* engine = EngineFor(record.fs_kind, true);
  if (engine == nullptr) return err::kSuccess;
  return engine->ExtractForPreview(record, path, buffer, byte_count, callback, user);
}

int32_t CProfessionalRecovery::NextFreeRange(uint64_t*, uint64_t*) { return 0; }

ErrorCode CProfessionalRecovery::BuildUsedClusterBitmap() { return err::kSuccess; }

ErrorCode CProfessionalRecovery::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  if (quick_) (void)quick_->SetSearchCallback(callback, user);
  (void)fat_.SetSearchCallback(callback, user);
  (void)ntfs_.SetSearchCallback(callback, user);
  (void)carving_.SetSearchCallback(callback, user);
  return err::kSuccess;
}

std::optional<uint64_t> CProfessionalRecovery::FirstDataSector(const FoundFileRecord& record) {
  switch (static_cast<FsKind>(record.fs_kind)) {
    case FsKind::kNtfsQuick:
    case FsKind::kNtfsFormatted: {
      uint64_t sector = 0;
      if (!ntfs_.FirstDataSector(record, &sector)) return std::nullopt;
      return sector;
    }
    case FsKind::kFatQuick:
    case FsKind::kFatFormatted:
    case FsKind::kExFatQuick: {
      if (record.cluster_bytes <= 0) return std::nullopt;
      const uint64_t sectors_per_cluster =
          static_cast<uint64_t>(record.cluster_bytes) / sector_bytes_;
      // A file whose first cluster is 0 or 1 has no data on the medium (an
      // empty file); cluster 0 only ever names the FAT12/16 root, a folder.
      if (record.key < 2) return std::nullopt;
      return record.partition_start + record.data_start + (record.key - 2) * sectors_per_cluster;
    }
    default:
      return std::nullopt;
  }
}

ErrorCode CProfessionalRecovery::FindFiles(std::string_view type_filter,
                                           std::vector<FoundFileRecord>* out) {
  return Search(type_filter, true, out);
}

ErrorCode CProfessionalRecovery::Search(std::string_view type_filter, bool judge,
                                        std::vector<FoundFileRecord>* out) {
  const std::size_t first = out->size();
  for (IFileRecoveryParse* engine : {quick_.get(), static_cast<IFileRecoveryParse*>(&fat_),
                                     static_cast<IFileRecoveryParse*>(&ntfs_)}) {
    if (engine == nullptr) continue;
    if (ErrorCode rc = SearchOf(*engine, type_filter, judge, out); rc == kCancelCode) return rc;
  }
  DropRebuiltFatDuplicates(out, first);
  std::multimap<uint64_t, std::string> starts;
  for (std::size_t i = first; i < out->size(); ++i) {
    if (const auto sector = FirstDataSector((*out)[i])) {
      starts.emplace(*sector, LowerExtension((*out)[i].Name()));
    }
  }
  std::vector<FoundFileRecord> carved;
  // Judged once the files the file systems also list are left out: reading
  // those a second time would tell nothing new.
  const ErrorCode rc = carving_.FindFilesUnjudged(type_filter, &carved);
  const std::size_t first_carved = out->size();
  for (const FoundFileRecord& record : carved) {
    const std::string extension = LowerExtension(record.Name());
    bool duplicate = false;
    const uint64_t start = record.entry_sector;  // a copy: the record is packed
    const auto [begin, end] = starts.equal_range(start);
    for (auto it = begin; it != end && !duplicate; ++it) {
      duplicate = it->second == extension || (it->second == "thm" && extension == "jpg");
    }
    if (!duplicate) out->push_back(record);
  }
  const ErrorCode judged = judge && rc.ok() ? carving_.JudgeFound(out, first_carved) : rc;
  SortRecords(out, first);
  return judged;
}

}  // namespace vexlo
