// The directory walk of a quick FAT scan: reading FAT directories for the
// shared walk of deleted_tree_walker.h, which decides what becomes a record.
//
// Deleted FAT32 entries may have lost the high word of their first cluster;
// it is searched for by looking at the candidates' first sectors.
//
// Bounds: a directory is read for at most 2 MiB (the 65,536 entries FAT
// allows), so a directory chain that cycles or runs into free space ends;
// each cluster is parsed once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan_result_store.h"
#include "filesystems/fat/fat_long_name.h"
#include "filesystems/fat/fat_table.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/volume_tree_walker.h"
#include "ondisk/fat_dir_entry.h"

namespace vexlo::fat {

// Most bytes one directory can hold: 65,536 entries of 32 bytes.
inline constexpr uint64_t kMaxDirectoryBytes = 65536 * kDirEntryBytes;
// High words tried for a deleted FAT32 entry whose high word reads 0.
inline constexpr uint32_t kMaxSearchedHighWord = 256;

class FatDirectoryWalker final
    : public VolumeTreeWalker<FatVolume, FsKind::kFatQuick, &FatGeometry::data_start> {
 public:
  // Everything must outlive the walker. `content_test` may be empty (every
  // file then passes).
  FatDirectoryWalker(FatVolume& volume, FatTable& fat, ScanResultStore& store,
                     ContentTest content_test);

 private:
  void ParseDirectory(uint32_t cluster, const Folder& folder) override;
  // Handles one short entry of the directory at `folder`.
  void HandleShortEntry(const DirEntry& entry, std::string name, uint32_t folder_cluster,
                        const Folder& folder, uint64_t entry_sector);
  uint32_t SearchHighWord(const DirEntry& entry, std::string_view name);

  FatTable& fat_;
  std::vector<uint8_t> buffer_;  // one cluster or the fixed root
  LongNameCollector long_name_;
};

}  // namespace vexlo::fat
