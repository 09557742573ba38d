// What the quick (deleted-file) engines of FAT-like file systems share: how a
// volume is opened on a partition or an image, the scan's store and progress,
// the query slots that answer from that store, and the copy-out and preview
// of a file once the file system can read its data.
//
// A file system supplies its boot sector, its directory walk and the reading
// of one file's data (the pure virtual members below); everything a caller
// sees through IFileRecoveryParse then behaves alike on every such file
// system.
//
// The source is opened read-only. Threading: one thread at a time, no locks;
// callbacks come from the calling thread. Nothing throws; errors are codes of
// platform/error_code.h and the cancel code travels back unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "engine/scan_result_store.h"
#include "filesystems/deleted_tree_walker.h"
#include "filesystems/fat/fat_cluster_bitmap.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/record_output.h"
#include "storage/sector_io.h"

namespace vexlo {

class QuickScanEngine : public IFileRecoveryParse {
 public:
  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) final;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) final;
  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) final;
  ErrorCode Scan(const std::string* earlier_record_file) final;
  ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                       std::vector<FoundFileRecord>* out) final;
  ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) final;
  uint64_t GetRecordCount() final;
  ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) final;
  ErrorCode RecoverFile(const FoundFileRecord& record, const std::filesystem::path& destination,
                        uint32_t root_separator_count) final;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) final;
  ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) final;
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) final;
  ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path, uint8_t* buffer,
                              uint32_t* byte_count, PreviewProgressCallback callback,
                              void* user) final;

 protected:
  explicit QuickScanEngine(ScanHistory& history) : history_(history) {}
  ~QuickScanEngine() override;

  // The source the volume reads from (owned by the file system's volume).
  virtual DiskHandle& disk() = 0;
  // Bytes to read from the partition start for ParseBoot.
  virtual std::size_t BootReadBytes() const = 0;
  // Checks the boot sector and keeps the geometry; says the volume's sector
  // size. Errors end the open.
  virtual ErrorCode ParseBoot(std::span<const uint8_t> boot, uint32_t* bytes_per_sector) = 0;
  // The source's identifier and the partition's place in the volume's sector
  // size, once known; the FAT can be bound from here on.
  virtual void Place(uint16_t source_id, uint64_t partition_start, uint64_t partition_sectors) = 0;
  virtual uint32_t RootCluster() const = 0;
  // The directory walk of one scan, writing into `store`.
  virtual std::unique_ptr<DeletedTreeWalker> MakeWalker(ScanResultStore& store,
                                                        FirstSectorTest content_test) = 0;
  // Feeds at most `max_bytes` of a file record's data to `sink`: 0 when
  // delivered or the data ended early, else the error or the sink's answer.
  virtual ErrorCode ReadData(const FoundFileRecord& record, uint64_t max_bytes,
                             const RecordDataSink& sink) = 0;
  // The cluster layout free ranges are counted in.
  virtual const fat::FatGeometry& ClusterLayout() const = 0;

  bool opened() const { return opened_; }
  // Filled by BuildUsedClusterBitmap; NextFreeRange answers from it.
  fat::UsedClusterBitmap& bitmap() { return bitmap_; }

 private:
  ErrorCode OpenVolume(uint64_t first_device_sector, uint64_t device_sectors);
  RecordDataReader ReaderOf(const FoundFileRecord& record);
  int32_t ReportScan(int32_t progress, int32_t remaining_seconds);

  ScanHistory& history_;
  bool opened_ = false;
  ErrorCode open_result_ = err::kInvalidParameter;
  uint64_t log_start_sector_ = 0;  // the partition's first sector as the caller named it
  uint16_t source_id_ = 0;
  uint64_t partition_sectors_ = 0;
  carving::CarvingState carving_;
  std::unique_ptr<ScanResultStore> store_;
  fat::UsedClusterBitmap bitmap_;

  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  int32_t scale_ = 100;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
};

}  // namespace vexlo
