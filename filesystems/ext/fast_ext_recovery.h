// The quick-mode engine of ext2/3/4 volumes: a null engine. It opens the
// partition's disk and finds nothing, so that a quick scan of such a volume
// ends at once with no results; every slot answers 0 and lists nothing, and
// without a free-space map the formatted-recovery driver scans such a volume
// whole.
#pragma once

#include "engine/file_recovery_parse.h"
#include "storage/sector_io.h"

namespace vexlo {

class CFastExtRecovery final : public IFileRecoveryParse {
 public:
  ErrorCode OpenImagePartition(const std::filesystem::path&, uint64_t, uint64_t,
                               uint16_t) override {
    return err::kSuccess;
  }
  // Keeps the disk open, as every engine holds its source.
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t, uint64_t, uint16_t) override {
    return OpenPhysicalDisk(disk_number, &disk_);
  }
  ErrorCode SetProgressCallbacks(ScanProgressCallback, RecoveryProgressCallback, void*,
                                 int32_t) override {
    return err::kSuccess;
  }
  ErrorCode Scan(const std::string*) override { return err::kSuccess; }
  ErrorCode ListFolder(const FoundFileRecord*, uint32_t, std::vector<FoundFileRecord>*) override {
    return err::kSuccess;
  }
  ErrorCode CountFiles(const FoundFileRecord*, uint32_t, uint32_t*) override {
    return err::kSuccess;
  }
  uint64_t GetRecordCount() override { return 0; }
  ErrorCode GetFullPath(const FoundFileRecord&, std::string*) override { return err::kSuccess; }
  ErrorCode RecoverFile(const FoundFileRecord&, const std::filesystem::path&, uint32_t) override {
    return err::kSuccess;
  }
  int32_t NextFreeRange(uint64_t*, uint64_t*) override { return 0; }
  ErrorCode SetSearchCallback(SearchProgressCallback, void*) override { return err::kSuccess; }
  ErrorCode FindFiles(std::string_view, std::vector<FoundFileRecord>*) override {
    return err::kSuccess;
  }
  ErrorCode BuildUsedClusterBitmap() override { return err::kSuccess; }
  ErrorCode ExtractForPreview(const FoundFileRecord&, std::string*, uint8_t*, uint32_t*,
                              PreviewProgressCallback, void*) override {
    return err::kSuccess;
  }
  ~CFastExtRecovery() override { CloseDiskHandle(disk_); }

 private:
  DiskHandle disk_;
};

}  // namespace vexlo
