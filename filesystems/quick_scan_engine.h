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
  // A second open of an open engine does nothing.
  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) final;
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) final;
  ErrorCode Scan(const std::string* earlier_record_file) final;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) final;

 protected:
  explicit QuickScanEngine(ScanHistory& history);
  ~QuickScanEngine() override;

  // Bytes to read from the partition start for ParseBoot.
  virtual std::size_t BootReadBytes() const = 0;
  // Checks the boot sector and keeps the geometry; says the volume's sector
  // size. Errors end the open.
  virtual ErrorCode ParseBoot(std::span<const uint8_t> boot, uint32_t* bytes_per_sector) = 0;
  // The partition's place in the volume's sector size, once known; the FAT
  // can be bound from here on.
  virtual void Place(uint64_t partition_start, uint64_t partition_sectors) = 0;
  // The directory walk of one scan, writing into `store`.
  virtual std::unique_ptr<DeletedTreeWalker> MakeWalker(ScanResultStore& store,
                                                        FirstSectorTest content_test) = 0;
  // The cluster layout free ranges are counted in.
  virtual const fat::FatGeometry& ClusterLayout() const = 0;

  // Filled by BuildUsedClusterBitmap; NextFreeRange answers from it.
  fat::UsedClusterBitmap& bitmap() { return bitmap_; }

 private:
  ErrorCode AcceptSource() final;

  uint64_t volume_sectors_ = 0;  // the partition's length in the volume's sector size
  carving::CarvingState carving_;
  fat::UsedClusterBitmap bitmap_;
};

}  // namespace vexlo
