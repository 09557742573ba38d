// What the quick (deleted-file) engines of FAT-like file systems share on top
// of the store-backed engine: how a volume is opened from its boot sector,
// the scan that walks its directory tree into the store, and the free ranges
// of its used-cluster map.
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

#include "carving/formats/carving_state.h"
#include "engine/store_backed_engine.h"
#include "filesystems/deleted_tree_walker.h"
#include "filesystems/fat/fat_cluster_bitmap.h"
#include "filesystems/fat/fat_volume.h"

namespace vexlo {

class QuickScanEngine : public StoreBackedEngine {
 public:
  ErrorCode Scan(const std::string* earlier_record_file) final;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) final;

 protected:
  // ParseBoot is given the first `boot_read_bytes` of the partition. A
  // second open of an open engine does nothing.
  QuickScanEngine(ScanHistory& history, std::size_t boot_read_bytes);
  ~QuickScanEngine() override;

  // Checks the boot sector and keeps the geometry; says the volume's sector
  // size. Errors end the open.
  virtual ErrorCode ParseBoot(std::span<const uint8_t> boot, uint32_t* bytes_per_sector) = 0;
  // Places the volume on the engine's source (in the volume's sector size)
  // and binds its FAT. Returns the cluster layout that free ranges are
  // counted in and whose root cluster addresses the root folder; it must
  // live as long as the engine.
  virtual const fat::FatGeometry& Place(uint64_t partition_start, uint64_t partition_sectors) = 0;
  // The directory walk of one scan, writing into `store`.
  virtual std::unique_ptr<DeletedTreeWalker> MakeWalker(ScanResultStore& store,
                                                        FirstSectorTest content_test) = 0;

  // Filled by BuildUsedClusterBitmap; NextFreeRange answers from it.
  fat::UsedClusterBitmap& bitmap() { return bitmap_; }

 private:
  ErrorCode AcceptSource() final;
  uint32_t RootKey() const final { return layout_ == nullptr ? 0 : layout_->root_cluster; }

  std::size_t boot_read_bytes_;
  const fat::FatGeometry* layout_ = nullptr;  // once opened
  uint64_t volume_sectors_ = 0;               // the partition's length in the volume's sector size
  carving::CarvingState carving_;
  fat::UsedClusterBitmap bitmap_;
};

}  // namespace vexlo
