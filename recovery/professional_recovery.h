// The engine of formatted and deep scans.
//
// CProfessionalRecovery combines four engines into one scan of a partition or
// an image:
//   - the quick engine of the volume's file system (none on a raw medium),
//     which lists what the file system still knows and tells which sectors
//     are free;
//   - CProfessionalFatRecovery and CProfessionalNtfsRecovery, which rebuild
//     folders and files from FAT directory sectors and NTFS file records found
//     anywhere;
//   - CFileTypeRecovery, which carves files from every other sector.
// The medium is read once, in large chunks, and every sector goes to exactly
// one of the last three (recovery/sector_router.h); on a volume whose
// file system still marks its used clusters, only the free space is read.
// Queries go to the engine that produced a record (by `fs_kind`), or to all
// four merged. The scan is recorded in the scan history, so that a later scan
// of the same, unchanged source continues where this one stopped, with the
// earlier results loaded. A file of a continued scan whose first sector no
// longer passes its content test fails with 1110 and nothing is written.
//
// Threading: one thread at a time, no locks. Only one such scan may run at a
// time in a process, since they share the scan history.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carving/file_type_recovery.h"
#include "carving/walk_window.h"
#include "engine/file_recovery_parse.h"
#include "engine/history_entry.h"
#include "engine/listed_file_count.h"
#include "engine/remaining_time.h"
#include "engine/scan_history.h"
#include "filesystems/fat/professional_fat_recovery.h"
#include "filesystems/ntfs/professional_ntfs_recovery.h"
#include "storage/sector_io.h"

namespace vexlo {

// Bytes the main phase reads from the medium at a time. Large reads keep a
// card reader busy; a small synchronous read is bound by its latency.
inline constexpr std::size_t kScanChunkBytes = 1 << 20;

class CProfessionalRecovery final : public IFileRecoveryParse, public ListedFileCounter {
 public:
  // Scans are recorded in `history`, which must outlive the engine.
  explicit CProfessionalRecovery(ScanHistory& history);

  ErrorCode OpenImagePartition(const std::filesystem::path& image_path, uint64_t first_sector,
                               uint64_t sector_count, uint16_t source_id) override;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) override;
  // The scale given is ignored: the driver shows 90 % itself and gives its
  // quick engine 9 %.
  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) override;
  ErrorCode Scan(const std::string* earlier_record_file) override;
  ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                       std::vector<FoundFileRecord>* out) override;
  ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) override;
  uint64_t GetRecordCount() override;
  ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) override;
  ErrorCode RecoverFile(const FoundFileRecord& record, const std::filesystem::path& destination,
                        uint32_t root_separator_count) override;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) override;
  ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) override;
  // Merged over the four engines; a carved file that starts at the first data
  // sector of a file a file-system engine found, with the same extension (or
  // "jpg" carved where the file system names a "thm"), is listed once, and so
  // is a file that the FAT quick engine and the FAT rebuild both found in the
  // same directory entry (as the quick engine's record).
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) override;
  ErrorCode BuildUsedClusterBitmap() override;
  ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path, uint8_t* buffer,
                              uint32_t* byte_count, PreviewProgressCallback callback,
                              void* user) override;
  ~CProfessionalRecovery() override;

  // While the walk runs, a file that two engines found counts twice; the
  // scan's last report, once the walk is over, counts exactly what
  // FindFiles lists.
  void CountListedFiles(std::string_view type_filter) override;
  uint64_t ListedFileCount() override;
  bool CountOnlyChosen(const RecordFilter& chosen) override;

  // Whether the last Scan continued a saved scan (for tests and front ends).
  bool continued_scan() const { return continued_scan_; }
  // Whether opening found a saved scan of this source that Scan would continue.
  bool has_saved_scan() const { return saved_.has_value(); }
  // Drops that saved scan, its history entry and its folder: Scan starts anew.
  void ForgetSavedScan();
  // Whether carving is left out: the medium's sectors are larger than the
  // largest it searches (carving::kMaxCarvingSectorBytes), so files are found
  // through their file system only. Front ends say so.
  bool carving_skipped() const { return sector_bytes_ > carving::kMaxCarvingSectorBytes; }
  // Sectors the last Scan read from the medium in its main phase.
  uint64_t sectors_read() const { return sectors_read_; }
  // Sectors the walk could not read and passed over, one by one: in the
  // last Scan and, when it continued a saved scan, in the runs before it.
  uint64_t unreadable_sectors() const { return unreadable_sectors_; }
  // Makes the main phase read and route one sector at a time and resume
  // right behind every carved file, sharing nothing with the length
  // searches: the plain walk that tests compare the scan with.
  void UsePlainWalkForTesting() { plain_walk_ = true; }

 private:
  struct Progress {
    uint64_t extent_position = 0;  // relative to the partition start
    uint64_t extent_length = 0;
    uint64_t extent_offset = 0;
    uint64_t sectors_done = 0;
    uint64_t sectors_total = 0;
    int32_t remaining_seconds = -1;
  };

  ErrorCode OpenMembers();
  void LookUpHistory();
  // The quick phase; sets free-extent mode. Nonzero ends the scan.
  ErrorCode QuickPhase(const std::filesystem::path& folder, bool* free_extent_mode);
  ErrorCode OpenMemberLogs(const std::filesystem::path& folder, bool continuing);
  // Reads and routes the extents. Unreadable sectors are passed over one
  // at a time and counted; a medium that went away (its length no longer
  // reaches the sector) ends the walk with 21.
  ErrorCode MainPhase(bool free_extent_mode, Progress* progress);
  // The end of the medium in the scan's sectors.
  uint64_t MediumEnd() const;
  // Whether the first sector of `record`'s data still passes the content
  // test of its extension, as it did when the record was made (true when
  // there is nothing to test, or the sector cannot be read).
  bool StillStartsAsFound(const FoundFileRecord& record);
  // Routes the first `sector_count` sectors of the chunk read at
  // `first_sector` (relative to the partition). *routed: sectors from the
  // chunk's start up to where routing stopped, which may lie past its end
  // when a carved file (or what its length search found clear behind it)
  // reaches beyond it. A cancel stops routing behind the file being carved,
  // which is recorded with the length reached.
  ErrorCode RouteChunk(carving::WalkWindow& window, const uint8_t* chunk, uint64_t sector_count,
                       uint64_t first_sector, const Progress& progress, uint64_t* routed);
  void HandFileRecord(const uint8_t* chunk, uint64_t index, uint64_t sector_count,
                      uint64_t absolute_sector);
  int32_t ReportProgress(const Progress& progress);
  uint64_t FreeSpaceTotal();
  void SaveHistory(const Progress& progress, const std::filesystem::path& folder);
  // Files found for the scan reports: the listed ones once counting.
  uint64_t FoundCount();
  // What FindFiles lists for the counted filter, duplicates left out.
  uint64_t ExactListedCount();
  // FindFiles, judging what it finds (as FindFiles does) or not.
  ErrorCode Search(std::string_view type_filter, bool judge, std::vector<FoundFileRecord>* out);
  // The engine that produced a record of this kind; none for an unknown kind.
  IFileRecoveryParse* EngineFor(uint32_t fs_kind, bool include_carving);
  // First sector of a file-system record's data, for duplicate removal.
  std::optional<uint64_t> FirstDataSector(const FoundFileRecord& record);

  ScanHistory& history_;
  uint16_t source_id_ = 0;
  uint32_t sector_bytes_ = 512;
  uint32_t disk_number_ = kImageDiskNumber;
  uint64_t partition_start_ = 0;
  uint64_t partition_sectors_ = 0;
  std::filesystem::path image_path_;
  DiskHandle disk_;
  bool opened_ = false;

  CProfessionalFatRecovery fat_;
  CProfessionalNtfsRecovery ntfs_;
  CFileTypeRecovery carving_;
  std::unique_ptr<IFileRecoveryParse> quick_;

  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
  std::optional<std::string> listed_filter_;
  RecordFilter listed_chosen_;

  // The medium as it was when opened; none when it could not be taken.
  std::optional<MediumFingerprint> fingerprint_;
  std::optional<HistoryEntry> saved_;
  bool continued_scan_ = false;
  uint64_t sectors_read_ = 0;
  uint64_t unreadable_sectors_ = 0;
  bool medium_answered_ = false;  // the walk of the last Scan read something
  bool plain_walk_ = false;
  std::vector<uint8_t> record_buffer_;  // a file record that straddles a chunk
  RemainingTimeClock clock_;
};

}  // namespace vexlo
