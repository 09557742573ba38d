// The per-scan store of found-file records.
//
// An engine appends one FoundFileRecord per file and folder it finds; the
// store numbers them from 1, buffers 200 of them and appends them to the
// record file in the scan folder, so a scan of any size keeps only the buffer
// and the two indexes in memory. The indexes live beside the record file:
//   <name>            the 346-byte records back to back, record n at
//                     (n - 1) x 346, no header;
//   <name>_Relation   the FolderRelationMap as text (folder_relation_map.h);
//   <name>_DirInfo    the folder-info list (folder_info_list.h).
// Every query answers from these files, so results stay listable after a
// failed or cancelled scan and can be reloaded by opening the store again on
// the same name: numbering then continues after the records already there
// (a torn last record is ignored and overwritten).
//
// Damaged companions never stop a store from opening: what can be read is
// kept, the rest is dropped with a logged problem. Queries stay bounded on
// indexes that a crash or a user has twisted into cycles.
//
// Listings and searches hide "damaged pictures" (content_check 0 with a photo
// extension, carved ones excepted: see IsDamagedPicture); counts include
// them. Results are sorted files first, then by
// name compared case-insensitively (ASCII) in byte order.
//
// Threading: one thread at a time; no locks. Errors are codes of
// platform/error_code.h; nothing throws.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "engine/folder_info_list.h"
#include "engine/folder_relation_map.h"
#include "engine/found_file_record.h"
#include "engine/record_filter.h"
#include "platform/error_code.h"
#include "platform/file.h"
#include "platform/non_copyable.h"

namespace vexlo {

// Records held in memory before they are appended to the record file.
inline constexpr std::size_t kStoreBufferRecords = 200;
inline constexpr std::size_t kStoreBufferBytes = kStoreBufferRecords * kFoundFileRecordBytes;
static_assert(kStoreBufferBytes == 69'200);

// Extension searches ignore "other" matching on record files larger than
// this: such a scan would list every unnamed fragment of the medium.
inline constexpr uint64_t kOtherMatchingMaxFileBytes = 134'217'727;

// The longest type-filter text a search looks at.
inline constexpr std::size_t kSearchPatternMaxBytes = 4096;

class ScanResultStore : NonCopyable {
 public:
  ScanResultStore() = default;
  // Flushes (a failure is logged) and closes the files; they stay on disk.
  ~ScanResultStore();

  // Opens or creates the three files in `scan_folder`, creating the folder
  // with its parents, and loads the indexes. Closes a store opened before.
  // 8 when the buffers cannot be allocated.
  ErrorCode Open(const std::filesystem::path& scan_folder, const std::string& record_file_name);
  // Flushes and closes; the first error is returned, the store is closed
  // either way.
  ErrorCode Close();
  bool is_open() const { return record_file_.is_open(); }

  // Hands out the zeroed slot of the next record, whose record_number is
  // already set to the new Count(). The slot is valid until the next call on
  // the store. When the buffer is full it is appended to the record file
  // first; if that fails, nothing is handed out and the buffered records
  // stay for the next attempt.
  ErrorCode NewRecord(FoundFileRecord** slot);

  // Files `record` under `parent`. A folder record passes its own key and
  // its name, which goes into the folder-info list. 87 for a record number
  // the store has not handed out.
  ErrorCode Relate(FolderKey parent, RecordNumber record, uint32_t own_key,
                   std::optional<std::string_view> folder_name);

  // Replaces record `record.record_number` (handed out before) by `record`,
  // where it lies: a file measured again keeps its number and its place in
  // the indexes. 87 for a number the store has not handed out.
  ErrorCode RewriteRecord(const FoundFileRecord& record);

  // Reads record `number` from the file or, when not yet written, the buffer.
  ErrorCode ReadRecord(RecordNumber number, FoundFileRecord* record);

  // Appends buffered records to the record file, then rewrites the
  // companions if they changed. Queries that read the record file flush first.
  ErrorCode Flush();

  // Records handed out so far, which is also the last record number.
  uint32_t Count() const { return count_; }

  // Appends the records filed under `parent`, sorted, damaged pictures left
  // out. Parent 0 means the root (the map's first list); an unknown parent
  // adds nothing. A failed read ends the listing with its code.
  ErrorCode ListFolder(FolderKey parent, std::vector<FoundFileRecord>* out);
  // Whether listings and searches leave `record` out as a damaged picture.
  static bool HidesAsDamaged(const FoundFileRecord& record);

  // File records below `parent` at any depth (damaged pictures included).
  // Each folder is visited once, however the index links them.
  ErrorCode CountFiles(FolderKey parent, uint64_t* count);

  // The folders from the record's parent up to the level below the root,
  // nearest first. Names come from the folder-info list, or from the record
  // file when the list has no entry. The walk ends at the root, at a folder
  // it cannot find, or at a folder it has already passed.
  ErrorCode Path(const FoundFileRecord& record, std::vector<FoundFileRecord>* folders);

  // The names of Path() root first, each followed by "/"; empty for a
  // record in the root.
  ErrorCode PathText(const FoundFileRecord& record, std::string* text);

  // Sets the progress callback of SearchExtensions.
  void SetSearchCallback(SearchProgressCallback callback, void* user) {
    search_callback_ = callback;
    search_user_ = user;
  }

  // Appends the file records whose extension the type-filter `pattern`
  // selects ("*.jpg|*.png"; ".other" adds every extension outside the known
  // lists and files without one), sorted. A nonzero result of the progress
  // callback stops the search, keeps what was found and is returned.
  ErrorCode SearchExtensions(std::string_view pattern, std::vector<FoundFileRecord>* out);

  // From now on keeps count of the file records that SearchExtensions(pattern)
  // would list and `chosen` (a filter DecidedByRecord) keeps, the records
  // already stored included (which are read once). The count follows
  // appended and rewritten records without reading the record file again.
  ErrorCode CountListed(std::string_view pattern, const RecordFilter& chosen = {});
  // That count as a search would give it now; 0 before CountListed.
  uint64_t ListedCount();

  // The first folder record whose `key` equals `key`; 87 when there is none.
  ErrorCode FindFolderRecord(uint32_t key, FoundFileRecord* folder);

  const FolderRelationMap& relation_map() const { return relations_; }
  const std::vector<FolderInfoEntry>& folder_infos() const { return folder_infos_; }
  const std::filesystem::path& record_path() const { return record_path_; }

 private:
  ErrorCode OpenFiles(const std::filesystem::path& scan_folder, const std::string& name);
  ErrorCode LoadRelations();
  ErrorCode LoadFolderInfos();
  // Path(), telling also whether the climb came back to `record` itself.
  ErrorCode Climb(const FoundFileRecord& record, std::vector<FoundFileRecord>* folders,
                  bool* reached_start);
  // Appends the buffered records to the record file and empties the buffer.
  ErrorCode WriteBuffer();
  ErrorCode WriteRelations();
  ErrorCode WriteFolderInfos();
  // The list that the root key 0 or `parent` names; null when there is none.
  const std::vector<RecordNumber>* ListOf(FolderKey parent) const;
  // The smallest key of the lists that hold `number`, or nothing.
  std::optional<FolderKey> ParentOf(RecordNumber number) const;
  // Notes `record` as filed under `parent` in parent_of_.
  void IndexParent(FolderKey parent, RecordNumber record);
  // Notes folder_infos_[position] in folder_info_at_ unless its key has one.
  void IndexFolderInfo(std::size_t position);
  // Rebuilds both lookups from relations_ and folder_infos_ after loading.
  void RebuildIndexes();
  // Adds `record` to the listed count (or takes it away) when the counted
  // pattern selects it and the counted choice keeps it.
  void CountRecord(const FoundFileRecord& record, bool add);
  // Calls `visit` for the file's records in blocks; it returns false to stop.
  template <typename Visit>
  ErrorCode ForEachFileBlock(Visit visit);

  std::filesystem::path record_path_;
  platform::File record_file_;
  platform::File relation_file_;
  platform::File folder_info_file_;

  std::unique_ptr<FoundFileRecord[]> write_buffer_;
  std::size_t buffered_ = 0;
  // Records [1, written_] are in the record file.
  uint32_t written_ = 0;
  uint32_t count_ = 0;
  std::unique_ptr<FoundFileRecord[]> read_buffer_;

  FolderRelationMap relations_;
  std::vector<FolderInfoEntry> folder_infos_;
  // Path() climbs one level per lookup; searching the lists and the folder
  // infos at each level made a card of 200,000 files take minutes. Both
  // lookups keep what the searches answered: the smallest parent key of a
  // record, as a position in parent_keys_ plus one (indexed by number - 1,
  // 0 when filed nowhere: 4 bytes a record), and the first folder info of a
  // key.
  std::vector<uint32_t> parent_of_;
  std::vector<FolderKey> parent_keys_;
  std::unordered_map<FolderKey, uint32_t> parent_key_at_;
  std::unordered_map<uint32_t, uint32_t> folder_info_at_;
  bool relations_dirty_ = false;
  bool folder_infos_dirty_ = false;
  // The last path PathText built, the folder it belongs to and the folder
  // records it climbed; a change to the indexes or the records forgets it.
  std::optional<FolderKey> path_text_parent_;
  std::string path_text_;
  std::vector<RecordNumber> path_text_folders_;

  // The pattern CountListed follows, and how many of the records counted
  // (the written ones and the first listed_buffered_ of the buffer) it
  // selects by name and through ".other" alone (which a large store's
  // search leaves out).
  bool counting_listed_ = false;
  std::string listed_pattern_;
  RecordFilter listed_chosen_;
  bool listed_has_other_ = false;
  uint64_t listed_named_ = 0;
  uint64_t listed_other_ = 0;
  std::size_t listed_buffered_ = 0;

  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
};

}  // namespace vexlo
