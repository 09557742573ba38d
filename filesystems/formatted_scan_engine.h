// What the formatted-recovery engines (FAT folders rebuilt from directory
// sectors, NTFS files rebuilt from FILE records) share: a source opened as
// the whole disk, since what an earlier volume left may lie anywhere on it;
// the store of one scan; and the slots that answer from that store or stay
// idle because the formatted-scan driver runs the scan and reads every
// sector.
//
// An engine adds its checks of the source (AcceptSource), the operations
// the driver feeds, and the copy-out and preview of its records.
//
// The source is opened read-only. Threading: one thread at a time; nothing
// throws; errors are codes of platform/error_code.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "engine/scan_result_store.h"
#include "storage/sector_io.h"

namespace vexlo {

class FormattedScanEngine : public IFileRecoveryParse {
 public:
  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) final;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) final;
  // Only the recovery callback is kept: the driver reports the scan.
  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) final;
  ErrorCode Scan(const std::string* earlier_record_file) final;
  ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                       std::vector<FoundFileRecord>* out) final;
  ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) final;
  uint64_t GetRecordCount() final;
  ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) final;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) final;
  ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) final;
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) final;
  ErrorCode BuildUsedClusterBitmap() final;

  // Opens on a source the caller opened (tests, fuzzers). The partition's
  // first sector and length count in the disk's own sectors.
  ErrorCode OpenOnDisk(DiskHandle disk, uint64_t partition_start, uint64_t partition_sectors,
                       uint16_t source_id);

  uint32_t sector_bytes() const { return disk_.device_sector_bytes; }
  ScanResultStore* store() { return store_.get(); }

 protected:
  // `log_prefix` names the record file of a new scan; `count_root_key` is
  // the root's key when CountFiles is given no folder.
  FormattedScanEngine(ScanHistory& history, std::string_view log_prefix, uint32_t count_root_key);
  ~FormattedScanEngine() override;

  // The engine's checks and buffers for the source just put in place; an
  // error leaves the engine closed.
  virtual ErrorCode AcceptSource() = 0;
  // Opens the store of a new scan, or with `earlier_record_file` that of an
  // earlier scan, and starts the content tests afresh. Without success the
  // engine has no store.
  ErrorCode OpenStore(const std::string* earlier_record_file);

  DiskHandle& disk() { return disk_; }
  bool opened() const { return open_; }
  uint16_t source_id() const { return source_id_; }
  uint64_t partition_start() const { return partition_start_; }
  // Sectors of the source that may be read: the disk's, bounded by the
  // partition's end.
  uint64_t medium_sectors() const { return medium_sectors_; }
  carving::CarvingState& carving() { return carving_; }
  RecoveryProgressCallback recovery_callback() const { return recovery_callback_; }
  void* recovery_user() const { return user_; }

 private:
  ScanHistory& history_;
  std::string_view log_prefix_;
  uint32_t count_root_key_;
  DiskHandle disk_;
  bool open_ = false;
  uint16_t source_id_ = 0;
  uint64_t partition_start_ = 0;
  uint64_t medium_sectors_ = 0;
  carving::CarvingState carving_;
  std::unique_ptr<ScanResultStore> store_;

  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
};

}  // namespace vexlo
