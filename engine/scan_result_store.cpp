#include "engine/scan_result_store.h"

#include <algorithm>
#include <deque>
#include <new>
#include <span>
#include <unordered_set>

#include "engine/file_categories.h"
#include "engine/record_order.h"
#include "platform/log.h"
#include "platform/text.h"

namespace vexlo {
namespace {

constexpr std::string_view kRelationSuffix = "_Relation";
constexpr std::string_view kFolderInfoSuffix = "_DirInfo";
constexpr std::string_view kOtherMarker = ".other";

// The companions are rewritten in pieces of about this size.
constexpr std::size_t kRelationChunkBytes = 64 * 1024;

// No sound "_Relation" text is longer than this for a store of n records: a
// number takes at most 11 characters and a comma, and even if every record
// had a list of its own, an entry's frame (" | ", 20 digits, " - [", "]")
// adds 28 bytes. A longer file is damaged, and reading it whole could exhaust
// memory.
uint64_t RelationTextLimit(uint32_t record_count) {
  return kRelationChunkBytes + uint64_t{record_count} * 40;
}

std::span<uint8_t> BytesOf(FoundFileRecord* records, std::size_t count) {
  return {reinterpret_cast<uint8_t*>(records), count * kFoundFileRecordBytes};
}

std::span<const uint8_t> BytesOf(const FoundFileRecord* records, std::size_t count) {
  return {reinterpret_cast<const uint8_t*>(records), count * kFoundFileRecordBytes};
}

// ASCII-lower-cases `text` into `out`, reusing its capacity.
void LowerInto(std::string_view text, std::string* out) {
  out->assign(text);
  for (char& c : *out) c = platform::ToLowerAscii(c);
}

// A picture whose first sector failed its type test: its data is almost
// certainly overwritten, so views do not offer it. A carved picture was
// found by that very test; it fails only where an image's copy could not
// read some of its sectors, and what was read is still worth offering.
// `lowered_extension` is the record's extension in ASCII lower case.
bool IsDamagedPicture(const FoundFileRecord& record, std::string_view lowered_extension) {
  return record.content_check == 0 && record.fs_kind != static_cast<uint32_t>(FsKind::kCarving) &&
         kPhotoList.find(lowered_extension) != std::string_view::npos;
}

// How a type filter selects a file record.
enum class FilterMatch {
  kNone,
  kNamed,  // the filter names the record's extension
  kOther,  // only through the filter's ".other", which large stores ignore
};

// `pattern` is the type filter cut to its longest length, `has_other`
// whether it holds ".other". Searches and the running count share this one
// test, so that the count is the number the search lists.
FilterMatch MatchOf(const FoundFileRecord& record, std::string_view pattern, bool has_other) {
  if (record.is_folder != 0) return FilterMatch::kNone;
  const std::string_view extension = ExtensionOf(record.Name());
  char dotted[kRecordNameBytes + 1];
  dotted[0] = '.';
  const std::size_t length = std::min(extension.size(), kRecordNameBytes);
  for (std::size_t i = 0; i < length; ++i) dotted[i + 1] = platform::ToLowerAscii(extension[i]);
  const std::string_view with_dot(dotted, length + 1);
  if (IsDamagedPicture(record, with_dot.substr(1))) return FilterMatch::kNone;
  if (length == 0) return has_other ? FilterMatch::kOther : FilterMatch::kNone;
  if (pattern.find(with_dot) != std::string_view::npos) return FilterMatch::kNamed;
  if (has_other && KnownExtensionText().find(with_dot) == std::string_view::npos) {
    return FilterMatch::kOther;
  }
  return FilterMatch::kNone;
}

// Whether a search of a store of `records` records lists the files that only
// ".other" selects.
bool ListsOtherMatches(uint64_t records) {
  return records * kFoundFileRecordBytes <= kOtherMatchingMaxFileBytes;
}

void LogDropped(std::string_view what, const std::filesystem::path& path, std::size_t problems) {
  platform::LogProblem(std::string(what) + " " + path.string() + ": " + std::to_string(problems) +
                           " damaged item(s) dropped",
                       err::kInvalidParameter);
}

// Reads at most `limit` bytes from the start of `file`.
ErrorCode ReadPrefix(platform::File* file, uint64_t limit, std::string* text, bool* cut) {
  uint64_t size = 0;
  if (ErrorCode code = file->Size(&size); !code.ok()) return code;
  *cut = size > limit;
  text->resize(static_cast<std::size_t>(std::min(size, limit)));
  std::size_t got = 0;
  if (ErrorCode code =
          file->ReadAt(0, {reinterpret_cast<uint8_t*>(text->data()), text->size()}, &got);
      !code.ok()) {
    return code;
  }
  text->resize(got);
  return err::kSuccess;
}

}  // namespace

ScanResultStore::~ScanResultStore() {
  if (!is_open()) return;
  const std::filesystem::path path = record_path_;
  if (ErrorCode code = Close(); !code.ok()) {
    platform::LogProblem("could not save the scan results " + path.string(), code);
  }
}

ErrorCode ScanResultStore::Open(const std::filesystem::path& scan_folder,
                                const std::string& record_file_name) {
  if (is_open()) {
    if (ErrorCode code = Close(); !code.ok()) {
      platform::LogProblem("could not save the scan results " + record_path_.string(), code);
    }
  }
  write_buffer_.reset(new (std::nothrow) FoundFileRecord[kStoreBufferRecords]);
  read_buffer_.reset(new (std::nothrow) FoundFileRecord[kStoreBufferRecords]);
  if (!write_buffer_ || !read_buffer_) {
    write_buffer_.reset();
    read_buffer_.reset();
    return err::kNotEnoughMemory;
  }
  ErrorCode code = OpenFiles(scan_folder, record_file_name);
  if (code.ok()) code = LoadRelations();
  if (code.ok()) code = LoadFolderInfos();
  if (code.ok()) RebuildIndexes();
  if (!code.ok()) {
    record_file_.Close();
    relation_file_.Close();
    folder_info_file_.Close();
  }
  return code;
}

ErrorCode ScanResultStore::OpenFiles(const std::filesystem::path& scan_folder,
                                     const std::string& name) {
  std::error_code ec;
  std::filesystem::create_directories(scan_folder, ec);
  // An existing folder is fine; an existing file in its place fails below.
  if (ec && ec != std::errc::file_exists) return FromErrno(ec.value());

  record_path_ = scan_folder / name;
  using Mode = platform::File::Mode;
  if (ErrorCode code = record_file_.Open(record_path_, Mode::kReadWriteCreate); !code.ok()) {
    return code;
  }
  if (ErrorCode code = relation_file_.Open(record_path_.string() + std::string(kRelationSuffix),
                                           Mode::kReadWriteCreate);
      !code.ok()) {
    return code;
  }
  if (ErrorCode code = folder_info_file_.Open(
          record_path_.string() + std::string(kFolderInfoSuffix), Mode::kReadWriteCreate);
      !code.ok()) {
    return code;
  }

  uint64_t size = 0;
  if (ErrorCode code = record_file_.Size(&size); !code.ok()) return code;
  // A torn last record (a crash while appending) is ignored and overwritten
  // by the next append, so record n stays at (n - 1) x 346.
  if (size % kFoundFileRecordBytes != 0) {
    platform::LogProblem("incomplete last record ignored in " + record_path_.string(),
                         err::kInvalidParameter);
  }
  const uint64_t records = std::min<uint64_t>(size / kFoundFileRecordBytes, UINT32_MAX);
  written_ = count_ = static_cast<uint32_t>(records);
  buffered_ = 0;
  relations_.clear();
  folder_infos_.clear();
  parent_of_.clear();
  parent_keys_.clear();
  parent_key_at_.clear();
  folder_info_at_.clear();
  relations_dirty_ = folder_infos_dirty_ = false;
  counting_listed_ = false;
  listed_named_ = listed_other_ = 0;
  listed_buffered_ = 0;
  return err::kSuccess;
}

ErrorCode ScanResultStore::LoadRelations() {
  std::string text;
  bool cut = false;
  if (ErrorCode code = ReadPrefix(&relation_file_, RelationTextLimit(count_), &text, &cut);
      !code.ok()) {
    return code;
  }
  const RelationParseResult result = ParseFolderRelationMap(text, count_, &relations_);
  if (result.problems > 0 || cut) {
    LogDropped("damaged folder index", record_path_.string() + std::string(kRelationSuffix),
               result.problems + (cut ? 1 : 0));
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::LoadFolderInfos() {
  std::string bytes;
  bool cut = false;
  // Only folder records have an entry, so there are at most count_ of them.
  if (ErrorCode code =
          ReadPrefix(&folder_info_file_, uint64_t{count_} * kFolderInfoEntryBytes, &bytes, &cut);
      !code.ok()) {
    return code;
  }
  const FolderInfoParseResult result = ParseFolderInfoList(
      {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, count_, &folder_infos_);
  if (result.problems > 0 || cut) {
    LogDropped("damaged folder names", record_path_.string() + std::string(kFolderInfoSuffix),
               result.problems + (cut ? 1 : 0));
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::Close() {
  if (!is_open()) return err::kSuccess;
  const ErrorCode code = Flush();
  record_file_.Close();
  relation_file_.Close();
  folder_info_file_.Close();
  path_text_parent_.reset();
  write_buffer_.reset();
  read_buffer_.reset();
  buffered_ = 0;
  return code;
}

ErrorCode ScanResultStore::NewRecord(FoundFileRecord** slot) {
  *slot = nullptr;
  if (!is_open()) return err::kInvalidParameter;
  if (count_ == UINT32_MAX) return err::kDiskFull;
  if (buffered_ == kStoreBufferRecords) {
    if (ErrorCode code = WriteBuffer(); !code.ok()) return code;
  }
  FoundFileRecord* record = &write_buffer_[buffered_++];
  *record = EmptyRecord();
  record->record_number = ++count_;
  *slot = record;
  return err::kSuccess;
}

ErrorCode ScanResultStore::Relate(FolderKey parent, RecordNumber record, uint32_t own_key,
                                  std::optional<std::string_view> folder_name) {
  if (!is_open() || record == 0 || record > count_) return err::kInvalidParameter;
  relations_[parent].push_back(record);
  IndexParent(parent, record);
  relations_dirty_ = true;
  path_text_parent_.reset();
  if (folder_name) {
    folder_infos_.push_back(FolderInfoEntry::Make(own_key, record, *folder_name));
    IndexFolderInfo(folder_infos_.size() - 1);
    folder_infos_dirty_ = true;
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::RewriteRecord(const FoundFileRecord& record) {
  const RecordNumber number = record.record_number;
  if (!is_open() || number == 0 || number > count_) return err::kInvalidParameter;
  // A folder record renamed renames the paths below it.
  path_text_parent_.reset();
  // A record measured again may change its name or its content test, and
  // with them whether a search lists it.
  if (number > written_) {
    const std::size_t at = number - written_ - 1;
    if (counting_listed_ && at < listed_buffered_) {
      CountRecord(write_buffer_[at], false);
      CountRecord(record, true);
    }
    write_buffer_[at] = record;
    return err::kSuccess;
  }
  FoundFileRecord before;
  const bool recount = counting_listed_ && ReadRecord(number, &before).ok();
  if (ErrorCode code =
          record_file_.WriteAt(uint64_t{number - 1} * kFoundFileRecordBytes, BytesOf(&record, 1));
      !code.ok()) {
    return code;
  }
  if (recount) {
    CountRecord(before, false);
    CountRecord(record, true);
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::WriteBuffer() {
  if (buffered_ == 0) return err::kSuccess;
  if (counting_listed_) (void)ListedCount();
  if (ErrorCode code = record_file_.WriteAt(uint64_t{written_} * kFoundFileRecordBytes,
                                            BytesOf(write_buffer_.get(), buffered_));
      !code.ok()) {
    return code;
  }
  written_ += static_cast<uint32_t>(buffered_);
  buffered_ = 0;
  listed_buffered_ = 0;
  return err::kSuccess;
}

ErrorCode ScanResultStore::Flush() {
  if (!is_open()) return err::kSuccess;
  if (ErrorCode code = WriteBuffer(); !code.ok()) return code;
  // Rewriting the companions costs time in proportion to the whole scan, so
  // it is done only when they changed.
  if (relations_dirty_) {
    if (ErrorCode code = WriteRelations(); !code.ok()) return code;
    relations_dirty_ = false;
  }
  if (folder_infos_dirty_) {
    if (ErrorCode code = WriteFolderInfos(); !code.ok()) return code;
    folder_infos_dirty_ = false;
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::WriteRelations() {
  std::string chunk;
  chunk.reserve(kRelationChunkBytes * 2);
  uint64_t offset = 0;
  auto write_chunk = [&]() -> ErrorCode {
    ErrorCode code = relation_file_.WriteAt(
        offset, {reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()});
    offset += chunk.size();
    chunk.clear();
    return code;
  };
  for (const auto& [key, records] : relations_) {
    AppendRelationEntry(key, records, &chunk);
    if (chunk.size() >= kRelationChunkBytes) {
      if (ErrorCode code = write_chunk(); !code.ok()) return code;
    }
  }
  if (ErrorCode code = write_chunk(); !code.ok()) return code;
  // The text may be shorter than what a damaged file held before.
  return relation_file_.Truncate(offset);
}

ErrorCode ScanResultStore::WriteFolderInfos() {
  const std::span<const uint8_t> bytes = {reinterpret_cast<const uint8_t*>(folder_infos_.data()),
                                          folder_infos_.size() * kFolderInfoEntryBytes};
  if (ErrorCode code = folder_info_file_.WriteAt(0, bytes); !code.ok()) return code;
  return folder_info_file_.Truncate(bytes.size());
}

ErrorCode ScanResultStore::ReadRecord(RecordNumber number, FoundFileRecord* record) {
  if (number == 0 || number > count_) return err::kInvalidParameter;
  if (number > written_) {
    *record = write_buffer_[number - written_ - 1];
    return err::kSuccess;
  }
  std::size_t got = 0;
  if (ErrorCode code = record_file_.ReadAt(uint64_t{number - 1} * kFoundFileRecordBytes,
                                           BytesOf(record, 1), &got);
      !code.ok()) {
    return code;
  }
  if (got != kFoundFileRecordBytes) return err::kHandleEof;
  record->name[kRecordNameMaxText] = '\0';
  return err::kSuccess;
}

template <typename Visit>
ErrorCode ScanResultStore::ForEachFileBlock(Visit visit) {
  for (uint64_t first = 0; first < written_; first += kStoreBufferRecords) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<uint64_t>(kStoreBufferRecords, written_ - first));
    std::size_t got = 0;
    if (ErrorCode code = record_file_.ReadAt(first * kFoundFileRecordBytes,
                                             BytesOf(read_buffer_.get(), n), &got);
        !code.ok()) {
      return code;
    }
    if (got != n * kFoundFileRecordBytes) return err::kHandleEof;
    for (std::size_t i = 0; i < n; ++i) read_buffer_[i].name[kRecordNameMaxText] = '\0';
    if (!visit(std::span<const FoundFileRecord>(read_buffer_.get(), n),
               (first + n) * kFoundFileRecordBytes)) {
      break;
    }
  }
  return err::kSuccess;
}

const std::vector<RecordNumber>* ScanResultStore::ListOf(FolderKey parent) const {
  if (parent == 0) return relations_.empty() ? nullptr : &relations_.begin()->second;
  const auto it = relations_.find(parent);
  return it == relations_.end() ? nullptr : &it->second;
}

void ScanResultStore::IndexParent(FolderKey parent, RecordNumber record) {
  if (parent_of_.size() < record) parent_of_.resize(record, 0);
  const auto [at, added] =
      parent_key_at_.emplace(parent, static_cast<uint32_t>(parent_keys_.size() + 1));
  if (added) parent_keys_.push_back(parent);
  // A twisted index may file a record in several lists; the smallest key
  // wins, as it did when the lists were searched in key order.
  uint32_t& slot = parent_of_[record - 1];
  if (slot == 0 || parent < parent_keys_[slot - 1]) slot = at->second;
}

void ScanResultStore::IndexFolderInfo(std::size_t position) {
  folder_info_at_.emplace(folder_infos_[position].key, static_cast<uint32_t>(position));
}

void ScanResultStore::RebuildIndexes() {
  parent_of_.clear();
  parent_keys_.clear();
  parent_key_at_.clear();
  folder_info_at_.clear();
  for (const auto& [key, records] : relations_) {
    for (RecordNumber number : records) IndexParent(key, number);
  }
  for (std::size_t i = 0; i < folder_infos_.size(); ++i) IndexFolderInfo(i);
}

std::optional<FolderKey> ScanResultStore::ParentOf(RecordNumber number) const {
  if (number == 0 || number > parent_of_.size() || parent_of_[number - 1] == 0) {
    return std::nullopt;
  }
  return parent_keys_[parent_of_[number - 1] - 1];
}

bool ScanResultStore::HidesAsDamaged(const FoundFileRecord& record) {
  std::string extension;
  LowerInto(ExtensionOf(record.Name()), &extension);
  return IsDamagedPicture(record, extension);
}

ErrorCode ScanResultStore::ListFolder(FolderKey parent, std::vector<FoundFileRecord>* out) {
  if (!is_open()) return err::kInvalidParameter;
  if (ErrorCode code = Flush(); !code.ok()) return code;
  const std::vector<RecordNumber>* list = ListOf(parent);
  if (list == nullptr) return err::kSuccess;
  const std::size_t first = out->size();
  std::string extension;
  ErrorCode result = err::kSuccess;
  for (RecordNumber number : *list) {
    FoundFileRecord record;
    result = ReadRecord(number, &record);
    if (!result.ok()) break;
    LowerInto(ExtensionOf(record.Name()), &extension);
    if (!IsDamagedPicture(record, extension)) out->push_back(record);
  }
  SortRecords(out, first);
  return result;
}

ErrorCode ScanResultStore::CountFiles(FolderKey parent, uint64_t* count) {
  *count = 0;
  if (!is_open()) return err::kInvalidParameter;
  if (ErrorCode code = Flush(); !code.ok()) return code;
  if (parent == 0 && !relations_.empty()) parent = relations_.begin()->first;
  // A folder key is walked once: a twisted index may list a folder inside
  // itself, or the same folder many times over.
  std::deque<FolderKey> queue{parent};
  std::unordered_set<FolderKey> seen{parent};
  while (!queue.empty()) {
    const FolderKey folder = queue.front();
    queue.pop_front();
    const auto it = relations_.find(folder);
    if (it == relations_.end()) continue;
    for (RecordNumber number : it->second) {
      FoundFileRecord record;
      if (ErrorCode code = ReadRecord(number, &record); !code.ok()) return code;
      if (record.is_folder == 0) {
        ++*count;
        continue;
      }
      const FolderKey child = MakeFolderKey(record.key, FolderKeyLevel(folder) + 1);
      if (seen.insert(child).second) queue.push_back(child);
    }
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::Path(const FoundFileRecord& record,
                                std::vector<FoundFileRecord>* folders) {
  bool reached_start = false;
  return Climb(record, folders, &reached_start);
}

ErrorCode ScanResultStore::Climb(const FoundFileRecord& record,
                                 std::vector<FoundFileRecord>* folders, bool* reached_start) {
  folders->clear();
  if (!is_open()) return err::kInvalidParameter;
  if (relations_.empty()) return err::kSuccess;
  const FolderKey root = relations_.begin()->first;
  const RecordNumber start = record.record_number;
  std::unordered_set<RecordNumber> passed{start};
  RecordNumber current = start;
  while (true) {
    const std::optional<FolderKey> parent = ParentOf(current);
    if (!parent || *parent == root) break;
    const uint32_t parent_key = FolderKeyLow(*parent);
    const auto at = folder_info_at_.find(parent_key);
    FoundFileRecord folder;
    if (at != folder_info_at_.end()) {
      const FolderInfoEntry* info = &folder_infos_[at->second];
      folder = EmptyRecord();
      folder.is_folder = 1;
      folder.content_check = 1;
      folder.key = info->key;
      folder.record_number = info->record_number;
      folder.SetName(info->Name());
    } else {
      const ErrorCode code = FindFolderRecord(parent_key, &folder);
      if (code == err::kInvalidParameter) break;
      if (!code.ok()) return code;
    }
    // Ends at the starting record (a folder filed under itself) and at any
    // folder already passed (folders filed under each other).
    const RecordNumber number = folder.record_number;  // a copy: the field is packed
    if (!passed.insert(number).second) {
      *reached_start = number == start;
      break;
    }
    folders->push_back(folder);
    current = number;
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::PathText(const FoundFileRecord& record, std::string* text) {
  text->clear();
  // Records of one folder share its path: browsing asks for the files of one
  // folder one after another, and climbing for each of them cost a tenth of
  // a scan. Only a record that lies on the climb itself (folders filed in a
  // loop) sees a shorter path.
  const RecordNumber start = record.record_number;
  const std::optional<FolderKey> parent = ParentOf(start);
  if (is_open() && parent && parent == path_text_parent_ &&
      std::find(path_text_folders_.begin(), path_text_folders_.end(), start) ==
          path_text_folders_.end()) {
    *text = path_text_;
    return err::kSuccess;
  }
  std::vector<FoundFileRecord> folders;
  bool reached_start = false;
  if (ErrorCode code = Climb(record, &folders, &reached_start); !code.ok()) return code;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    text->append(it->Name());
    text->push_back('/');
  }
  if (parent && !reached_start) {
    path_text_parent_ = parent;
    path_text_ = *text;
    path_text_folders_.clear();
    for (const FoundFileRecord& folder : folders) {
      const RecordNumber number = folder.record_number;  // a copy: the field is packed
      path_text_folders_.push_back(number);
    }
  }
  return err::kSuccess;
}

ErrorCode ScanResultStore::SearchExtensions(std::string_view pattern,
                                            std::vector<FoundFileRecord>* out) {
  if (!is_open()) return err::kInvalidParameter;
  pattern = platform::TruncateUtf8(pattern, kSearchPatternMaxBytes);
  const bool has_other = pattern.find(kOtherMarker) != std::string_view::npos;
  if (ErrorCode code = Flush(); !code.ok()) return code;
  const uint64_t file_bytes = uint64_t{written_} * kFoundFileRecordBytes;
  const bool match_other = ListsOtherMatches(written_);

  const std::size_t first = out->size();
  ErrorCode stopped = err::kSuccess;
  ErrorCode code = ForEachFileBlock([&](std::span<const FoundFileRecord> block, uint64_t done) {
    for (const FoundFileRecord& record : block) {
      const FilterMatch match = MatchOf(record, pattern, has_other);
      if (match == FilterMatch::kNamed || (match == FilterMatch::kOther && match_other)) {
        out->push_back(record);
      }
    }
    if (search_callback_ != nullptr) {
      stopped = search_callback_(search_user_, static_cast<int32_t>(done * 100 / file_bytes), 0);
    }
    return stopped.ok();
  });
  SortRecords(out, first);
  return code.ok() ? stopped : code;
}

ErrorCode ScanResultStore::CountListed(std::string_view pattern, const RecordFilter& chosen) {
  if (!is_open()) return err::kInvalidParameter;
  listed_pattern_ = platform::TruncateUtf8(pattern, kSearchPatternMaxBytes);
  listed_chosen_ = chosen;
  listed_has_other_ = listed_pattern_.find(kOtherMarker) != std::string::npos;
  counting_listed_ = true;
  listed_named_ = listed_other_ = 0;
  listed_buffered_ = 0;
  // The records of an earlier run of a continued scan count as well.
  return ForEachFileBlock([&](std::span<const FoundFileRecord> block, uint64_t) {
    for (const FoundFileRecord& record : block) CountRecord(record, true);
    return true;
  });
}

uint64_t ScanResultStore::ListedCount() {
  if (!counting_listed_) return 0;
  // A record is complete once the store is called again after handing out
  // its slot; each is counted once, and again only when rewritten.
  for (; listed_buffered_ < buffered_; ++listed_buffered_) {
    CountRecord(write_buffer_[listed_buffered_], true);
  }
  return listed_named_ + (ListsOtherMatches(count_) ? listed_other_ : 0);
}

void ScanResultStore::CountRecord(const FoundFileRecord& record, bool add) {
  const FilterMatch match = MatchOf(record, listed_pattern_, listed_has_other_);
  if (match == FilterMatch::kNone) return;
  if (!listed_chosen_.Empty() && !listed_chosen_.Matches(record, {})) return;
  uint64_t& counter = match == FilterMatch::kNamed ? listed_named_ : listed_other_;
  counter = add ? counter + 1 : counter - 1;
}

ErrorCode ScanResultStore::FindFolderRecord(uint32_t key, FoundFileRecord* folder) {
  if (!is_open()) return err::kInvalidParameter;
  auto matches = [key](const FoundFileRecord& record) {
    return record.is_folder != 0 && record.key == key;
  };
  bool found = false;
  ErrorCode code = ForEachFileBlock([&](std::span<const FoundFileRecord> block, uint64_t) {
    const auto it = std::find_if(block.begin(), block.end(), matches);
    if (it == block.end()) return true;
    *folder = *it;
    found = true;
    return false;
  });
  if (!code.ok()) return code;
  if (found) return err::kSuccess;
  // Folders still waiting in the buffer count as well.
  const auto it = std::find_if(write_buffer_.get(), write_buffer_.get() + buffered_, matches);
  if (it == write_buffer_.get() + buffered_) return err::kInvalidParameter;
  *folder = *it;
  return err::kSuccess;
}

}  // namespace vexlo
