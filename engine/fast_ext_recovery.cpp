#include "engine/fast_ext_recovery.h"

namespace vexlo {

ErrorCode CFastExtRecovery::OpenImage(const std::filesystem::path&, uint16_t) { return err::kSuccess; }

ErrorCode CFastExtRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                          uint64_t sector_count, uint16_t source_id) {
  disk_number_ = disk_number;
  first_sector_ = first_sector;
  sector_count_ = sector_count;
  source_id_ = source_id;
  return OpenPhysicalDisk(disk_number, &disk_);
}

ErrorCode CFastExtRecovery::SetProgressCallbacks(ScanProgressCallback, RecoveryProgressCallback,
                                                 void*, int32_t) {
  return err::kSuccess;
}

ErrorCode CFastExtRecovery::Scan(const std::string*) { return err::kSuccess; }

ErrorCode CFastExtRecovery::ListFolder(const FoundFileRecord*, uint32_t,
                                       std::vector<FoundFileRecord>*) {
  return err::kSuccess;
}

ErrorCode CFastExtRecovery::CountFiles(const FoundFileRecord*, uint32_t, uint32_t*) {
  return err::kSuccess;
}

uint64_t CFastExtRecovery::GetRecordCount() { return 0; }

ErrorCode CFastExtRecovery::GetFullPath(const FoundFileRecord&, std::string*) {
  return err::kSuccess;
}

ErrorCode CFastExtRecovery::RecoverFile(const FoundFileRecord&, const std::filesystem::path&,
                                        uint32_t) {
  return err::kSuccess;
}

int32_t CFastExtRecovery::NextFreeRange(uint64_t*, uint64_t*) { return 0; }

ErrorCode CFastExtRecovery::SetSearchCallback(SearchProgressCallback, void*) {
  return err::kSuccess;
}

ErrorCode CFastExtRecovery::FindFiles(std::string_view, std::vector<FoundFileRecord>*) {
  return err::kSuccess;
}

ErrorCode CFastExtRecovery::BuildUsedClusterBitmap() { return err::kSuccess; }

ErrorCode CFastExtRecovery::ExtractForPreview(const FoundFileRecord&, std::string*, uint8_t*,
                                              uint32_t*, PreviewProgressCallback, void*) {
  return err::kSuccess;
}

CFastExtRecovery::~CFastExtRecovery() { CloseDiskHandle(disk_); }

}  // namespace vexlo
