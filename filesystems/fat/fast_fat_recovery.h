// The quick (deleted-file) recovery engine of FAT12, FAT16 and FAT32 volumes.
//
// Opened on a partition of a disk or on an image file, it walks the live
// directory tree from the root into every folder it can reach, deleted ones
// included, and records each deleted file and every file of a deleted folder,
// with the folders that lead to them (fat_directory_walker.h). Files and
// whole folders are copied out along their cluster chains, and the
// used-cluster map tells the formatted recovery where the free space is. The
// store, the query slots, the copy-out and the preview are those of every
// quick engine (quick_scan_engine.h).
//
// The source is opened read-only. Threading: one thread at a time, no locks.
#pragma once

#include <cstdint>
#include <memory>

#include "filesystems/fat/fat_boot_sector.h"
#include "filesystems/fat/fat_table.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/volume_quick_scan_engine.h"

namespace vexlo {

class CFastFatRecovery final
    : public VolumeQuickScanEngine<fat::FatVolume, &fat::ParseFatBootSector,
                                   fat::kBootSectorReadBytes> {
 public:
  using VolumeQuickScanEngine::VolumeQuickScanEngine;

  ErrorCode BuildUsedClusterBitmap() override;

 private:
  const fat::FatGeometry& Place(uint64_t partition_start, uint64_t partition_sectors) override;
  std::unique_ptr<DeletedTreeWalker> MakeWalker(ScanResultStore& store,
                                                FirstSectorTest content_test) override;
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;

  fat::FatTable fat_;
};

}  // namespace vexlo
