// The quick (deleted-file) recovery engine of FAT12, FAT16 and FAT32 volumes.
//
// Opened on a partition of a disk or on an image file, it walks the live
// directory tree from the root into every folder it can reach, deleted ones
// included, and records each deleted file and every file of a deleted folder,
// with the folders that lead to them (fat_directory_walker.h). The results go
// to a "Fast_..." store in the current scan folder of the scan history; every
// query slot answers from that store. Files and whole folders are copied out
// along their cluster chains, and the used-cluster map tells the formatted
// recovery where the free space is.
//
// The source is opened read-only. Threading: one thread at a time, no locks;
// callbacks are called from the calling thread. Nothing throws; errors are
// codes of platform/error_code.h and the cancel code travels back unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_result_store.h"
#include "filesystems/fat/fat_cluster_bitmap.h"
#include "filesystems/fat/fat_table.h"
#include "filesystems/fat/fat_volume.h"

namespace vexlo {

class CFastFatRecovery final : public IFileRecoveryParse {
 public:
  CFastFatRecovery();

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
  ~CFastFatRecovery() override;

  // The volume as opened (geometry valid once an open call returned 0).
  const fat::FatVolume& volume() const { return volume_; }
  ScanResultStore* store() { return store_.get(); }

 private:
  // Reads and checks the boot sector at `first_device_sector` of the open
  // disk and sets up the geometry and the FAT window.
  ErrorCode OpenVolume(uint64_t first_device_sector, uint64_t device_sectors);
  ErrorCode OpenStore(const std::string& record_file_name);
  // The depth of a folder record below the root, from the store's index.
  uint32_t LevelOf(const FoundFileRecord& folder) const;
  ErrorCode CopyFolder(const FoundFileRecord& folder, const std::filesystem::path& destination);
  ErrorCode CopyFile(const FoundFileRecord& record, const std::filesystem::path& destination);
  int32_t ReportScan(int32_t progress, int32_t remaining_seconds);

  fat::FatVolume volume_;
  fat::FatTable fat_;
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
