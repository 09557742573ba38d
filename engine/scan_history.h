// The scan history and the scan folders.
//
// Every scan writes its logs into a numbered folder under the scan-log root
// ($XDG_DATA_HOME/VexloSdCardDataRecovery/ScanLog/<n>/). A formatted or deep
// scan is also recorded in the history file "config" in the root, so that a
// later scan of the same, unchanged source continues where it stopped and
// reloads what was found. A source counts as unchanged while its validators
// match: the medium's fingerprint (storage/medium_fingerprint.h), and the
// volume's free bytes for a mounted partition or the last-write time for an
// image file. An entry whose validators no longer match is dropped and its
// folder deleted with everything in it.
//
// "config" is a little-endian u64 counter (the number of the last folder
// handed out) followed by 1,120-byte entries (history_entry.h). It is written
// to "config.tmp", synced and renamed over "config", so a crash leaves the old
// or the new history, never a torn one; a "config.tmp" found without a
// "config" is the remains of such a save and is taken.
//
// Two runs of the program may share the root (the command-line tool beside
// the window). Every change is therefore one cycle under an flock on
// "config.lock" beside "config": read the file again, change it, write it.
// Neither run loses the other's entries, and no folder number is handed out
// twice.
//
// The history names folders that get deleted, and a damaged or crafted
// "config" could name any folder at all, so nothing is ever deleted that does
// not lie strictly inside the root, judged by its canonical path (symbolic
// links resolved).
//
// Threading: one thread at a time (the scan worker during a scan, then the
// user-interface thread); the file lock orders objects, not threads sharing
// one object.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history_entry.h"
#include "platform/error_code.h"
#include "platform/file_lock.h"
#include "platform/non_copyable.h"

namespace vexlo {

// Prefixes of the record files, one per kind of engine.
inline constexpr std::string_view kFastLogPrefix = "Fast_";
inline constexpr std::string_view kProFatLogPrefix = "Pro_Fat_";
inline constexpr std::string_view kProNtfsLogPrefix = "Pro_Ntfs_";
inline constexpr std::string_view kFileTypeLogPrefix = "File_Type_";

// Suffixes of a record file's two companions.
inline constexpr std::string_view kRelationSuffix = "_Relation";
inline constexpr std::string_view kDirInfoSuffix = "_DirInfo";

// Name of a record file: the prefix, the partition's start sector (0 for an
// image file), then year, month, day and hour without padding and the minute
// right-aligned in two characters padded with a blank ("File_Type_2048_2026439 5"
// for 09:05 on 3 April 2026).
std::string ScanLogFileName(std::string_view prefix, uint64_t start_sector,
                            const std::tm& local_time);

// The same for the current local time.
std::string ScanLogFileName(std::string_view prefix, uint64_t start_sector);

// ScanLogFileName for now, followed by "_2", "_3" ... when `folder` already
// holds a file of that name: two scans in one minute (a rescan, or two images,
// which both start at sector 0) must neither add to nor destroy another
// store's records.
std::string UnusedScanLogFileName(std::string_view prefix, uint64_t start_sector,
                                  const std::filesystem::path& folder);

// The record file in `folder` whose name contains `prefix`; none when there is
// none. Companions ("_Relation", "_DirInfo") and hidden names are passed over,
// and names are compared in sorted order so the answer does not depend on the
// order in which the file system lists them.
std::optional<std::string> FindLogFile(std::string_view prefix,
                                       const std::filesystem::path& folder);

// The source a scan read.
struct ScanSource {
  uint32_t disk_number = 0;  // kImageDiskNumber for an image file
  uint64_t start_sector = 0;
  uint64_t sector_count = 0;
  // The volume's free bytes now: the validator of a partition scan. Linux has
  // no drive letter to ask, so the caller measures it at the volume's mount
  // point, or gives 0 for a volume that is not mounted.
  uint64_t free_bytes = 0;
  std::filesystem::path image_path;  // empty for a partition
  // The medium as it was when the scan began; none when it could not be
  // taken, and such a scan is never continued.
  std::optional<MediumFingerprint> fingerprint;
};

class ScanHistory : NonCopyable {
 public:
  // A history on `root`, which is created when missing, loaded at once. The
  // program keeps one, on platform::ScanLogRoot(), for its whole run and
  // hands it to what scans; tests keep theirs on a folder of their own.
  explicit ScanHistory(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }
  uint64_t counter() const { return counter_; }
  // The entries as the last load or change left them.
  const std::vector<HistoryEntry>& entries() const { return entries_; }

  // Replaces the history by the contents of "config" (taking "config.tmp"
  // when "config" is missing). A missing or empty file gives an empty history
  // and 87. Damage (a short file, a trailing partial entry, an entry whose
  // path lacks its NUL or whose folder lies outside the root) keeps what can
  // be read, logs the problem and returns 0.
  ErrorCode Load();

  // Writes the history as this object holds it, crash-safely; returns the
  // first error met. The changes below save by themselves.
  ErrorCode Save();

  // The first entry of the partition (disk, start, count). When its free bytes
  // differ from `free_bytes`, or its fingerprint from `fingerprint` (an entry
  // or a medium without one never matches), the source has changed: the
  // entry is dropped, its folder deleted, and none is returned.
  std::optional<HistoryEntry> FindDiskEntry(uint32_t disk_number, uint64_t start_sector,
                                            uint64_t sector_count, uint64_t free_bytes,
                                            const std::optional<MediumFingerprint>& fingerprint);

  // The first entry of the stretch (start, count) of the image file (path
  // compared exactly): an image of a whole card has one per partition. When
  // the file's last-write time differs from the saved one (or the file is
  // gone), or the fingerprints differ as above, the entry is dropped, its
  // folder deleted, and none is returned.
  std::optional<HistoryEntry> FindImageEntry(const std::filesystem::path& image_path,
                                             uint64_t start_sector, uint64_t sector_count,
                                             const std::optional<MediumFingerprint>& fingerprint);

  // Hands out the next folder number and makes its (new, empty) folder
  // current. Whatever that folder still holds from an earlier use of the
  // number, and every entry naming it, goes.
  void BeginNewScan();

  // Makes the folder of a saved entry current, to continue its scan there.
  void ContinueScan(const HistoryEntry& entry);

  // The folder that scans write their logs into now, ending in "/": the
  // continued entry's or the last new scan's. A scan that finds none chosen
  // yet in this process gets a new one rather than writing into a folder that
  // belongs to a saved entry.
  std::filesystem::path CurrentFolder();

  // Saves where a scan of `source` stopped and the folder of its logs. An
  // entry of the same source in the same folder gets the new position (its
  // validators stay as they were when the scan began); otherwise a new entry
  // is appended, and an entry of the source naming another folder is dropped
  // with its folder. A path that cannot be stored (longer than 259 UTF-16
  // units, 243 for the folder beside a fingerprint: 206; not UTF-8: 87), or
  // a folder outside the root (87), leaves the history as it was: such a
  // source is simply scanned anew next time.
  ErrorCode RecordScan(const ScanSource& source, const ScanPosition& position,
                       const std::filesystem::path& folder);

  // Takes back the folder number the last BeginNewScan handed out, for a new
  // scan that ended before it wrote anything worth keeping; kept when another
  // run has handed out a later one since.
  void GiveBackFolderNumber();

  // Drops every entry naming `folder` (without regard to case) and deletes
  // the folder with its contents when it exists and lies strictly inside the
  // root. Returns 0, or the deletion's error; a refused folder is 5.
  ErrorCode RemoveFolder(const std::filesystem::path& folder);

 private:
  // Held around every read-modify-write of "config".
  platform::ExclusiveFileLock LockConfig() const;
  ErrorCode LoadLocked();
  ErrorCode SaveLocked();
  std::filesystem::path FolderOf(uint64_t number) const;
  bool LiesInsideRoot(std::string_view folder) const;
  std::size_t DropEntriesNaming(std::string_view folder);
  // Deletes a folder with its contents, but only one strictly inside the root.
  ErrorCode DeleteFolder(std::string_view folder);
  // Whether entry `index` still describes the source: its fingerprint and
  // `validator_matches` (free bytes or write time). If not, it is dropped
  // with its folder.
  std::optional<HistoryEntry> KeepIfUnchanged(std::size_t index, bool validator_matches,
                                              const std::optional<MediumFingerprint>& fingerprint);
  // Drops entry `index` and deletes its folder. The history is saved in
  // between (here and wherever entries go with their folders), so that a
  // crash never leaves an entry naming a folder that is gone.
  void Invalidate(std::size_t index);
  void SaveOrLog();

  std::filesystem::path root_;
  uint64_t counter_ = 0;
  uint64_t handed_out_ = 0;  // the number the last BeginNewScan gave this object
  std::vector<HistoryEntry> entries_;
  std::filesystem::path current_folder_;  // empty until a scan chooses one
};

}  // namespace vexlo
