// The quick-mode (deleted-file) engine of NTFS volumes and images.
//
// A scan reads the Master File Table through the data runs of its own record,
// 1,024 records per read, and records every FILE record that is neither in
// use nor a directory: a deleted file, named by its long name, with its size,
// times and a test of its first sector against its extension. The folders on
// the paths of those files are recorded afterwards; a folder whose record has
// since been reused for something else becomes "LostFolder<n>" directly below
// the root, so that what lay in it stays reachable. Records 0-11, the volume's
// own files, are never listed.
//
// Records are keyed by their position in the MFT. Results live in the
// engine's ScanResultStore (record file "Fast_..."), and the queries answer
// from it. Copy-out reads resident data from the record and non-resident data
// through the runs of the data stream, attribute lists included; holes read
// as zeros.
//
// Threading: one thread at a time; callbacks run on the calling thread.
// Errors: codes of platform/error_code.h; nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "engine/scan_result_store.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/record_output.h"
#include "storage/sector_io.h"

namespace vexlo {

// Records read per MFT read call during a scan.
inline constexpr uint32_t kNtfsScanBatchRecords = 1024;

class CFastNtfsRecovery final : public IFileRecoveryParse {
 public:
  explicit CFastNtfsRecovery(ScanHistory& history);

  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) override;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) override;
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
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) override;
  ErrorCode BuildUsedClusterBitmap() override;
  ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path, uint8_t* buffer,
                              uint32_t* byte_count, PreviewProgressCallback callback,
                              void* user) override;
  ~CFastNtfsRecovery() override;

  // Opens on a disk handle that the caller has opened (tests, fuzzers, the
  // image-file slot). `partition_start` is in the disk's sectors.
  ErrorCode OpenOnDisk(DiskHandle disk, uint64_t partition_start, uint64_t partition_sectors,
                       uint16_t source_id);

 private:
  ErrorCode ScanMft();
  ErrorCode ScanRecord(uint64_t number, std::span<uint8_t> record);
  ErrorCode EmitFolder(uint32_t number);
  ErrorCode AddLostFolder(uint32_t number);
  uint32_t LevelOf(uint64_t parent);
  void AddParent(uint32_t number);
  uint32_t ContentCheck(std::string_view name, const ntfs::FileRecordSummary& summary);
  ErrorCode ReportScan(uint64_t sectors_done, uint64_t sectors_total);
  // Streams the data of a file record to `sink`: its size, `max_bytes` at
  // most.
  ErrorCode CopyData(const FoundFileRecord& record, uint64_t max_bytes, const RecordDataSink& sink);
  RecordDataReader ReaderOf(const FoundFileRecord& record);

  ScanHistory& history_;
  DiskHandle disk_;
  ntfs::NtfsVolume volume_;
  bool open_ = false;
  uint16_t source_id_ = 0;

  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  int32_t scale_ = 100;
  int64_t scan_started_ms_ = 0;
  int64_t last_estimate_ms_ = 0;
  int32_t remaining_seconds_ = -1;

  std::unique_ptr<ScanResultStore> store_;
  std::vector<uint8_t> batch_;
  std::vector<uint8_t> record_;
  std::vector<uint8_t> sector_;
  std::vector<ntfs::DataRun> runs_;

  // Folders on the paths of found files, in order of first appearance, and
  // the level of every folder met while climbing.
  std::vector<uint32_t> parent_list_;
  std::unordered_map<uint32_t, uint32_t> levels_;
  std::vector<uint32_t> chain_;

  std::vector<uint8_t> used_bitmap_;
  uint64_t bitmap_valid_bytes_ = 0;

  carving::CarvingState carving_state_;
};

}  // namespace vexlo
