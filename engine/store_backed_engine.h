// What every engine that keeps its results in a ScanResultStore shares: the
// source it reads (a whole disk or an image file, and where the partition
// lies on it), the callbacks, the store of one scan with the query slots that
// answer from it, the remaining-time clock, and the copy-out and preview of a
// record once the engine can read the record's data.
//
// A store always lives in the scan history's current folder, under a record
// file name that no other store there uses: two scans of one source within a
// minute must neither add to nor destroy each other's records. Every store
// the engine opens reports searches to the search callback, whenever that
// callback was set.
//
// An engine adds its checks of a newly opened source (AcceptSource), its
// scan, and the reading of one record's data (ReadRecordData); RecoverFile
// writes a file, or a folder with everything the store files below it, and
// ExtractForPreview places a file where the preview wants it, both through
// that reading.
//
// The source is opened read-only. Threading: one thread at a time, no locks;
// callbacks come from the calling thread. Nothing throws; errors are codes of
// platform/error_code.h and the cancel code travels back unchanged.
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
#include "engine/listed_file_count.h"
#include "engine/record_output.h"
#include "engine/remaining_time.h"
#include "engine/scan_history.h"
#include "engine/scan_result_store.h"
#include "storage/sector_io.h"

namespace vexlo {

// Whether a file whose first sector passed its test is also whole further
// on (a photo that decodes to its full height), its data read through
// `read`. Asked once per file and session, when the file is first listed or
// found rather than during the scan: reading every photo whole as it is
// found would slow the scans several times over.
using ContentJudge = bool (*)(const FoundFileRecord& record, const RecordDataReader& read);

// How an engine's store files its records.
enum class RecordLayout {
  kFolderTree,  // below folders; a root query with a level is 87
  kFlat,        // all in the root; a query naming a folder or a level lists nothing
};

// What OpenImagePartition and OpenPartition do beyond opening the partition.
struct OpenRules {
  // An engine that is open stays on its source: the quick engines are opened
  // again by every caller that wants their records.
  bool keep_open_source = false;
  // Reads reach past the partition to the end of the medium: what an earlier,
  // larger volume left may lie anywhere there.
  bool read_to_medium_end = false;
  // The store of a new scan opens with the source, whether or not that
  // opened: the carving engine is fed by a driver and never scans itself.
  bool open_store = false;
};

class StoreBackedEngine : public IFileRecoveryParse, public ListedFileCounter {
 public:
  ErrorCode OpenImagePartition(const std::filesystem::path& image_path, uint64_t first_sector,
                               uint64_t sector_count, uint16_t source_id) final;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) final;
  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) override;
  ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                       std::vector<FoundFileRecord>* out) final;
  ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) final;
  uint64_t GetRecordCount() final;
  ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) final;
  ErrorCode RecoverFile(const FoundFileRecord& record, const std::filesystem::path& destination,
                        uint32_t root_separator_count) final;
  // No free-space map unless the engine builds one.
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) override;
  ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) final;
  // Judging the files found reads each photo whole, which on a card takes
  // far longer than the search: the search callback hears the judging too,
  // its percent counting the files judged, and its nonzero answer stops it.
  // The files not judged then keep the mark of their first sector, and are
  // judged when next listed or found.
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) final;
  // FindFiles in its two steps: the search, for counts (which judging never
  // changes: a damaged photo stays listed, with the mark) and for callers
  // that drop some of what it found before the files are read; then the
  // judging of out[first..], reported as FindFiles reports it.
  ErrorCode FindFilesUnjudged(std::string_view type_filter, std::vector<FoundFileRecord>* out);
  ErrorCode JudgeFound(std::vector<FoundFileRecord>* out, std::size_t first) {
    return JudgeListed(out, first, true);
  }
  ErrorCode BuildUsedClusterBitmap() override;
  ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path, uint8_t* buffer,
                              uint32_t* byte_count, PreviewProgressCallback callback,
                              void* user) final;

  // Open only the source, as OpenImagePartition and OpenPartition do unless
  // the engine's rules add to them. A partition of an image ends with the
  // image.
  ErrorCode OpenSource(const std::filesystem::path& image_path, uint64_t first_sector,
                       uint64_t sector_count, uint16_t source_id);
  ErrorCode OpenSource(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                       uint16_t source_id);
  // Opens on a source the caller opened (tests, fuzzers, the open slots).
  // The partition's first sector and length count in the disk's own sectors.
  ErrorCode OpenOnDisk(DiskHandle disk, uint64_t partition_start, uint64_t partition_sectors,
                       uint16_t source_id);

  void CountListedFiles(std::string_view type_filter) override;
  uint64_t ListedFileCount() override;
  bool CountOnlyChosen(const RecordFilter& chosen) override;

  DiskHandle& disk() { return disk_; }
  const DiskHandle& disk() const { return disk_; }
  // Null before a scan opened one, and after opening it failed.
  ScanResultStore* store() { return store_.get(); }

 protected:
  // `log_prefix` names the record file of a new scan; without a
  // `content_judge` every listed file counts as whole.
  StoreBackedEngine(ScanHistory& history, std::string_view log_prefix,
                    RecordLayout layout = RecordLayout::kFolderTree, OpenRules open_rules = {},
                    ContentJudge content_judge = nullptr);
  ~StoreBackedEngine() override;

  // Checks the source just put in place and prepares what reading it needs;
  // an error leaves the engine closed.
  virtual ErrorCode AcceptSource() { return err::kSuccess; }
  // Feeds at most `max_bytes` of a file record's data to `sink`: 0 when they
  // are delivered or the data ended early, else the error or the sink's
  // answer.
  virtual ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                                   const RecordDataSink& sink) = 0;
  // Whether a file record's data can be read at all, asked before anything
  // is written for it: 87 while the engine is closed.
  virtual ErrorCode CheckRecordData(const FoundFileRecord& record);
  // How many of a file record's bytes lie where the source holds nothing of
  // the medium (the known bad areas of an image), reported with the written
  // file; 0 when there are none, or the engine cannot tell.
  virtual uint64_t UnreadableBytes(const FoundFileRecord& /*record*/) const { return 0; }
  // The key that addresses the root folder in ListFolder's and CountFiles'
  // root queries.
  virtual uint32_t RootKey() const { return 0; }
  virtual uint32_t CountRootKey() const { return RootKey(); }

  // Opens the store of a new scan, or with `earlier_record_file` that of an
  // earlier scan, in the history's current folder. Without success the
  // engine has no store.
  ErrorCode OpenStore(const std::string* earlier_record_file);

  // The scan callback's answer (0 without one) to a report at the scale set.
  // Once the engine counts listed files, they replace `records_found`.
  int32_t ReportScan(int32_t progress, int32_t remaining_seconds, uint64_t sectors_done = 0,
                     uint64_t sectors_total = 0, uint64_t records_found = 0) const;

  ScanHistory& history() { return history_; }
  bool opened() const { return opened_; }
  // Why the engine is not open: 87 before any open, else the open's error.
  ErrorCode open_result() const { return open_result_; }
  uint16_t source_id() const { return source_id_; }
  uint64_t partition_start() const { return partition_start_; }
  uint64_t partition_sectors() const { return partition_sectors_; }
  ScanProgressCallback scan_callback() const { return scan_callback_; }
  void* callback_user() const { return user_; }
  int32_t scale() const { return scale_; }
  RemainingTimeClock& clock() { return clock_; }

 private:
  ErrorCode OpenedSource(ErrorCode rc);
  ErrorCode WriteFile(const FoundFileRecord& record, const std::filesystem::path& destination);
  RecordDataReader ReaderOf(const FoundFileRecord& record);
  // Judges the files of out[first..] that were not judged yet: a damaged
  // one carries content_check 0 from then on, and stays listed with that
  // mark. With `report`, the search callback hears the progress and may stop
  // the judging: its answer is returned.
  ErrorCode JudgeListed(std::vector<FoundFileRecord>* out, std::size_t first, bool report);

  ScanHistory& history_;
  std::string_view log_prefix_;
  RecordLayout layout_;
  OpenRules open_rules_;
  ContentJudge content_judge_;

  DiskHandle disk_;
  bool opened_ = false;
  ErrorCode open_result_ = err::kInvalidParameter;
  uint16_t source_id_ = 0;
  uint64_t partition_start_ = 0;
  uint64_t partition_sectors_ = 0;

  std::unique_ptr<ScanResultStore> store_;
  // The type filter whose listed files the stores count, once asked.
  std::optional<std::string> listed_filter_;
  RecordFilter listed_chosen_;                    // and the files of it they count
  std::unordered_map<RecordNumber, bool> whole_;  // judged files of this store
  RemainingTimeClock clock_;

  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  int32_t scale_ = 100;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
};

}  // namespace vexlo
