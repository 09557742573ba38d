// The quick (deleted-file) recovery engine of exFAT volumes, the file system
// of SDXC cards (64 GB and larger).
//
// Opened on a partition of a disk or on an image file, it walks the directory
// tree from the root into every folder it can reach, deleted ones included,
// and records each deleted file and every file of a deleted folder, with the
// folders that lead to them (exfat_directory_walker.h). The results go to a
// "Fast_..." store in the current scan folder; every query slot answers from
// that store. Files are copied out contiguously or along their FAT chain as
// their stream extension says, folders as whole trees, and the allocation
// bitmap tells the formatted recovery where the free space is.
//
// The source is opened read-only. Threading: one thread at a time, no locks;
// callbacks come from the calling thread. Nothing throws; errors are codes of
// platform/error_code.h and the cancel code travels back unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_result_store.h"
#include "filesystems/exfat/exfat_directory_walker.h"
#include "filesystems/exfat/exfat_volume.h"
#include "filesystems/fat/fat_cluster_bitmap.h"

namespace vexlo {

class CFastExFatRecovery final : public IFileRecoveryParse {
 public:
  CFastExFatRecovery();

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
  ~CFastExFatRecovery() override;

  // The volume as opened (geometry valid once an open call returned 0).
  const exfat::ExFatVolume& volume() const { return volume_; }

 private:
  ErrorCode OpenVolume(uint64_t first_device_sector, uint64_t device_sectors);
  ErrorCode OpenStore(const std::string& record_file_name);
  // Where a record's data lie, from its stream extension on the medium when
  // that still describes it.
  exfat::DataPlacement PlacementOf(const FoundFileRecord& record);
  ErrorCode CopyFile(const FoundFileRecord& record, const std::filesystem::path& destination);
  int32_t ReportScan(int32_t progress, int32_t remaining_seconds);

  exfat::ExFatVolume volume_;
  fat::UsedClusterBitmap bitmap_;
  bool opened_ = false;
  ErrorCode open_result_ = err::kInvalidParameter;
  uint64_t log_start_sector_ = 0;  // the partition's first sector as the caller named it
  carving::CarvingState carving_;
  std::unique_ptr<ScanResultStore> store_;

  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  int32_t scale_ = 100;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
};

}  // namespace vexlo
