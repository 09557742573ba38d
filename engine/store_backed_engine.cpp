#include "engine/store_backed_engine.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vexlo {

StoreBackedEngine::StoreBackedEngine(ScanHistory& history, std::string_view log_prefix,
                                     RecordLayout layout, OpenRules open_rules,
                                     ContentJudge content_judge)
    : history_(history),
      log_prefix_(log_prefix),
      layout_(layout),
      open_rules_(open_rules),
      content_judge_(content_judge) {}

StoreBackedEngine::~StoreBackedEngine() = default;

// ------------------------------------------------------------- the source

ErrorCode StoreBackedEngine::OpenImagePartition(const std::filesystem::path& image_path,
                                                uint64_t first_sector, uint64_t sector_count,
                                                uint16_t source_id) {
  if (open_rules_.keep_open_source && opened()) return err::kSuccess;
  if (open_rules_.read_to_medium_end) sector_count = kToImageEnd;
  return OpenedSource(OpenSource(image_path, first_sector, sector_count, source_id));
}

ErrorCode StoreBackedEngine::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                           uint64_t sector_count, uint16_t source_id) {
  if (open_rules_.keep_open_source && opened()) return err::kSuccess;
  if (open_rules_.read_to_medium_end) sector_count = kToImageEnd;
  return OpenedSource(OpenSource(disk_number, first_sector, sector_count, source_id));
}

ErrorCode StoreBackedEngine::OpenedSource(ErrorCode rc) {
  if (!open_rules_.open_store) return rc;
  const ErrorCode store_rc = OpenStore(nullptr);
  return rc.ok() ? store_rc : rc;
}

ErrorCode StoreBackedEngine::OpenSource(const std::filesystem::path& image_path,
                                        uint64_t first_sector, uint64_t sector_count,
                                        uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenImageFile(image_path, &disk); !rc.ok()) {
    open_result_ = rc;
    return rc;
  }
  const uint64_t sectors = SectorsOnDisk(disk, first_sector, sector_count);
  return OpenOnDisk(std::move(disk), first_sector, sectors, source_id);
}

ErrorCode StoreBackedEngine::OpenSource(uint32_t disk_number, uint64_t first_sector,
                                        uint64_t sector_count, uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk); !rc.ok()) {
    CloseDiskHandle(disk);
    open_result_ = rc;
    return rc;
  }
  // An open to the medium's end counts the sectors on the disk, as an
  // image's open does.
  if (sector_count == kToImageEnd) sector_count = SectorsOnDisk(disk, first_sector, sector_count);
  return OpenOnDisk(std::move(disk), first_sector, sector_count, source_id);
}

ErrorCode StoreBackedEngine::OpenOnDisk(DiskHandle disk, uint64_t partition_start,
                                        uint64_t partition_sectors, uint16_t source_id) {
  CloseDiskHandle(disk_);
  disk_ = std::move(disk);
  source_id_ = source_id;
  partition_start_ = partition_start;
  partition_sectors_ = partition_sectors;
  opened_ = false;
  open_result_ = AcceptSource();
  opened_ = open_result_.ok();
  return open_result_;
}

ErrorCode StoreBackedEngine::SetProgressCallbacks(ScanProgressCallback scan,
                                                  RecoveryProgressCallback recovery, void* user,
                                                  int32_t scale) {
  scan_callback_ = scan;
  recovery_callback_ = recovery;
  user_ = user;
  scale_ = scale;
  return err::kSuccess;
}

int32_t StoreBackedEngine::ReportScan(int32_t progress, int32_t remaining_seconds,
                                      uint64_t sectors_done, uint64_t sectors_total,
                                      uint64_t records_found) const {
  if (scan_callback_ == nullptr) return 0;
  if (listed_filter_ && store_ != nullptr) records_found = store_->ListedCount();
  return scan_callback_(user_, progress, scale_, remaining_seconds, sectors_done, sectors_total,
                        records_found, 0);
}

// ------------------------------------------------------------- the store

ErrorCode StoreBackedEngine::OpenStore(const std::string* earlier_record_file) {
  store_.reset();
  whole_.clear();
  const std::filesystem::path folder = history_.CurrentFolder();
  const std::string name = earlier_record_file != nullptr
                               ? *earlier_record_file
                               : UnusedScanLogFileName(log_prefix_, partition_start_, folder);
  auto opened = std::make_unique<ScanResultStore>();
  if (ErrorCode rc = opened->Open(folder, name); !rc.ok()) return rc;
  opened->SetSearchCallback(search_callback_, search_user_);
  // A count that cannot read what an earlier run stored starts short; the
  // store stays usable.
  if (listed_filter_) (void)opened->CountListed(*listed_filter_, listed_chosen_);
  store_ = std::move(opened);
  return err::kSuccess;
}

namespace {

// The folder key a query names; none when the query ends at once with
// `*answer`.
std::optional<FolderKey> QueryKey(RecordLayout layout, const FoundFileRecord* folder,
                                  uint32_t level, uint32_t root_key, ErrorCode* answer) {
  if (layout == RecordLayout::kFlat && (folder != nullptr || level != 0)) {
    *answer = err::kSuccess;
    return std::nullopt;
  }
  if (folder != nullptr) return MakeFolderKey(folder->key, level);
  if (level != 0) {
    *answer = err::kInvalidParameter;
    return std::nullopt;
  }
  return MakeFolderKey(root_key, 0);
}

bool Usable(const std::unique_ptr<ScanResultStore>& store) {
  return store != nullptr && store->is_open();
}

}  // namespace

ErrorCode StoreBackedEngine::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                        std::vector<FoundFileRecord>* out) {
  ErrorCode answer = err::kSuccess;
  const std::optional<FolderKey> key = QueryKey(layout_, folder, level, RootKey(), &answer);
  if (!key) return answer;
  if (!Usable(store_)) return err::kSuccess;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  const std::size_t first = out->size();
  const ErrorCode rc = store_->ListFolder(*key, out);
  (void)JudgeListed(out, first, false);
  return rc;
}

ErrorCode StoreBackedEngine::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                        uint32_t* count) {
  *count = 0;
  ErrorCode answer = err::kSuccess;
  const std::optional<FolderKey> key = QueryKey(layout_, folder, level, CountRootKey(), &answer);
  if (!key) return answer;
  if (!Usable(store_)) return err::kSuccess;
  if (ErrorCode rc = store_->Flush(); !rc.ok()) return rc;
  uint64_t files = 0;
  const ErrorCode rc = store_->CountFiles(*key, &files);
  *count = static_cast<uint32_t>(std::min<uint64_t>(files, std::numeric_limits<uint32_t>::max()));
  return rc;
}

uint64_t StoreBackedEngine::GetRecordCount() { return Usable(store_) ? store_->Count() : 0; }

void StoreBackedEngine::CountListedFiles(std::string_view type_filter) {
  listed_filter_ = std::string(type_filter);
  if (Usable(store_)) (void)store_->CountListed(type_filter, listed_chosen_);
}

bool StoreBackedEngine::CountOnlyChosen(const RecordFilter& chosen) {
  listed_chosen_ = chosen;
  return true;
}

uint64_t StoreBackedEngine::ListedFileCount() {
  return listed_filter_ && Usable(store_) ? store_->ListedCount() : 0;
}

ErrorCode StoreBackedEngine::GetFullPath(const FoundFileRecord& record, std::string* path) {
  path->clear();
  if (!Usable(store_)) return err::kSuccess;
  return store_->PathText(record, path);
}

ErrorCode StoreBackedEngine::SetSearchCallback(SearchProgressCallback callback, void* user) {
  // Kept for the store a later scan opens, too.
  search_callback_ = callback;
  search_user_ = user;
  if (store_ == nullptr) return err::kInvalidParameter;
  store_->SetSearchCallback(callback, user);
  return err::kSuccess;
}

ErrorCode StoreBackedEngine::FindFiles(std::string_view type_filter,
                                       std::vector<FoundFileRecord>* out) {
  const std::size_t first = out->size();
  const ErrorCode rc = FindFilesUnjudged(type_filter, out);
  if (!rc.ok()) return rc;
  return JudgeListed(out, first, true);
}

ErrorCode StoreBackedEngine::FindFilesUnjudged(std::string_view type_filter,
                                               std::vector<FoundFileRecord>* out) {
  if (!Usable(store_)) return err::kSuccess;
  return store_->SearchExtensions(type_filter, out);
}

ErrorCode StoreBackedEngine::JudgeListed(std::vector<FoundFileRecord>* out, std::size_t first,
                                         bool report) {
  if (!opened_ || content_judge_ == nullptr) return err::kSuccess;
  const bool reporting = report && search_callback_ != nullptr;
  const std::size_t files = out->size() - first;
  int32_t reported = -1;  // a report per percent: each is a message to a window
  for (std::size_t i = first; i < out->size(); ++i) {
    const auto percent = static_cast<int32_t>((i - first) * 100 / files);
    if (reporting && percent != reported) {
      reported = percent;
      if (const int32_t answer = search_callback_(search_user_, percent, 0); answer != 0)
        return answer;
    }
    FoundFileRecord& record = (*out)[i];
    if (record.is_folder != 0 || record.content_check == 0) continue;
    const RecordNumber number = record.record_number;
    auto [judged, fresh] = whole_.try_emplace(number, true);
    if (fresh) {
      judged->second = content_judge_(record, ReaderOf(record));
      // The store hides a file-system photo whose first sector failed its
      // test; one whose top still shows must stay in the lists with the
      // damaged mark, so its mark lives in this session's judgements only.
      // A carved file keeps the mark in the store as well.
      FoundFileRecord marked = record;
      marked.content_check = 0;
      if (!judged->second && !ScanResultStore::HidesAsDamaged(marked)) {
        // Kept for this session even when the store cannot take it.
        (void)store_->RewriteRecord(marked);
      }
    }
    if (!judged->second) record.content_check = 0;
  }
  return err::kSuccess;
}

int32_t StoreBackedEngine::NextFreeRange(uint64_t* /*sector*/, uint64_t* /*length_sectors*/) {
  return 0;
}

ErrorCode StoreBackedEngine::BuildUsedClusterBitmap() { return err::kSuccess; }

// ------------------------------------------------------------- copying out

ErrorCode StoreBackedEngine::CheckRecordData(const FoundFileRecord& /*record*/) {
  return opened_ ? ErrorCode(err::kSuccess) : ErrorCode(err::kInvalidParameter);
}

RecordDataReader StoreBackedEngine::ReaderOf(const FoundFileRecord& record) {
  return [this, record](uint64_t max_bytes, const RecordDataSink& sink) {
    return ReadRecordData(record, max_bytes, sink);
  };
}

ErrorCode StoreBackedEngine::WriteFile(const FoundFileRecord& record,
                                       const std::filesystem::path& destination) {
  // A record that cannot be read leaves nothing behind at its destination,
  // but the window hears why.
  if (ErrorCode rc = CheckRecordData(record); !rc.ok()) {
    if (recovery_callback_ != nullptr) {
      (void)recovery_callback_(user_, 100, 100, rc, destination.string().c_str(), 0);
    }
    return rc;
  }
  return WriteRecordFile(ReaderOf(record), record.size, destination, recovery_callback_, user_,
                         UnreadableBytes(record));
}

ErrorCode StoreBackedEngine::RecoverFile(const FoundFileRecord& record,
                                         const std::filesystem::path& destination,
                                         uint32_t /*root_separator_count*/) {
  if (record.is_folder == 0) return WriteFile(record, destination);
  if (!opened_) return err::kInvalidParameter;
  return CopyFolderTree(store_.get(), record, destination,
                        [this](const FoundFileRecord& file, const std::filesystem::path& path) {
                          return WriteFile(file, path);
                        });
}

ErrorCode StoreBackedEngine::ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                               uint8_t* buffer, uint32_t* byte_count,
                                               PreviewProgressCallback callback, void* user) {
  const ErrorCode checked =
      record.is_folder != 0 ? ErrorCode(err::kInvalidParameter) : CheckRecordData(record);
  if (!checked.ok()) {
    path->clear();
    *byte_count = 0;
    if (callback != nullptr) (void)callback(user, 100, checked);
    return checked;
  }
  return ExtractRecordForPreview(ReaderOf(record), record, history_.root(), path, buffer,
                                 byte_count, callback, user);
}

}  // namespace vexlo
