// The quick-mode engine of ext2/3/4 volumes: it opens the source and finds
// nothing, so that a scan of such a volume ends at once with no results.
#pragma once

#include "engine/file_recovery_parse.h"
#include "storage/sector_io.h"

namespace vexlo {

class CFastExtRecovery final : public IFileRecoveryParse {
 public:
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
  ~CFastExtRecovery() override;

  uint32_t disk_number() const { return disk_number_; }
  uint64_t first_sector() const { return first_sector_; }
  uint64_t sector_count() const { return sector_count_; }

 private:
  DiskHandle disk_;
  uint32_t disk_number_ = 0;
  uint64_t first_sector_ = 0;
  uint64_t sector_count_ = 0;
  uint16_t source_id_ = 0;
};

}  // namespace vexlo
