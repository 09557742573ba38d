#include "filesystems/fat/fast_fat_recovery.h"

#include "filesystems/fat/fat_directory_walker.h"
#include "filesystems/fat/fat_file_copy.h"

namespace vexlo {

const fat::FatGeometry& CFastFatRecovery::Place(uint64_t partition_start,
                                                uint64_t partition_sectors) {
  PlaceVolume(partition_start, partition_sectors);
  fat_.Open(volume_.disk, partition_start + volume_.geometry.reserved_sectors, volume_.geometry);
  return volume_.geometry;
}

std::unique_ptr<DeletedTreeWalker> CFastFatRecovery::MakeWalker(ScanResultStore& store,
                                                                FirstSectorTest content_test) {
  return std::make_unique<fat::FatDirectoryWalker>(volume_, fat_, store, std::move(content_test));
}

ErrorCode CFastFatRecovery::ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                                           const RecordDataSink& sink) {
  return fat::ReadFileData(volume_, fat_, record, max_bytes, sink);
}

ErrorCode CFastFatRecovery::BuildUsedClusterBitmap() {
  if (opened()) bitmap().Build(fat_, volume_.geometry, volume_.partition_sectors);
  return err::kSuccess;
}

}  // namespace vexlo
