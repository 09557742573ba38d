// The quick (deleted-file) recovery engine of exFAT volumes, the file system
// of SDXC cards (64 GB and larger).
//
// Opened on a partition of a disk or on an image file, it walks the directory
// tree from the root into every folder it can reach, deleted ones included,
// and records each deleted file and every file of a deleted folder, with the
// folders that lead to them (exfat_directory_walker.h). Files are copied out
// contiguously or along their FAT chain as their stream extension says, and
// the allocation bitmap tells the formatted recovery where the free space is.
// The store, the query slots, the copy-out and the preview are those of every
// quick engine (quick_scan_engine.h).
//
// The source is opened read-only. Threading: one thread at a time, no locks.
#pragma once

#include <cstdint>
#include <memory>

#include "filesystems/exfat/exfat_boot_sector.h"
#include "filesystems/exfat/exfat_volume.h"
#include "filesystems/volume_quick_scan_engine.h"

namespace vexlo {

class CFastExFatRecovery final
    : public VolumeQuickScanEngine<exfat::ExFatVolume, &exfat::ParseExFatBootSector,
                                   exfat::kBootSectorReadBytes> {
 public:
  using VolumeQuickScanEngine::VolumeQuickScanEngine;

  ErrorCode BuildUsedClusterBitmap() override;

 private:
  const fat::FatGeometry& Place(uint64_t partition_start, uint64_t partition_sectors) override;
  std::unique_ptr<DeletedTreeWalker> MakeWalker(ScanResultStore& store,
                                                FirstSectorTest content_test) override;
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;
  // Where a record's data lie, from its stream extension on the medium when
  // that still describes it.
  exfat::DataPlacement PlacementOf(const FoundFileRecord& record);
};

}  // namespace vexlo
