// The directory walk of a quick FAT scan.
//
// Starting at the root, every directory the walk meets is parsed once,
// deleted ones included, breadth first. Each deleted file, and each file of a
// deleted folder at any depth, becomes a FoundFileRecord in the store, filed
// under its folder's FolderKey (first cluster, depth below the root). Folders
// wait in the pending map until a recorded file is found below them; only
// those are emitted at the end, so the result tree holds no empty branches.
//
// Deleted FAT32 entries may have lost the high word of their first cluster;
// it is searched for by looking at the candidates' first sectors.
//
// Bounds: a directory is read for at most 2 MiB (the 65,536 entries FAT
// allows), so a directory chain that cycles or runs into free space ends;
// each cluster is parsed once; memory grows with the number of folders, not
// with the volume's size.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/scan_result_store.h"
#include "filesystems/fat/fat_dir_entry.h"
#include "filesystems/fat/fat_long_name.h"
#include "filesystems/fat/fat_table.h"
#include "filesystems/fat/fat_volume.h"

namespace vexlo::fat {

// Most bytes one directory can hold: 65,536 entries of 32 bytes.
inline constexpr uint64_t kMaxDirectoryBytes = 65536 * kDirEntryBytes;
// High words tried for a deleted FAT32 entry whose high word reads 0.
inline constexpr uint32_t kMaxSearchedHighWord = 256;

class FatDirectoryWalker {
 public:
  // Everything must outlive the walker. `content_test` may be empty (every
  // file then passes).
  FatDirectoryWalker(FatVolume& volume, FatTable& fat, ScanResultStore& store,
                     ContentTest content_test);

  // Walks the tree. `after_directory` is called after each parsed directory;
  // a nonzero answer stops the walk and is returned.
  ErrorCode Walk(const std::function<int32_t()>& after_directory);

  // Emits the folders that lead to recorded files. Returns the store's error.
  ErrorCode EmitFolders();

  // Records a file would get its content_check from: 1 without an extension
  // or when nothing could be read, else the content test's answer.
  bool ContentCheck(uint32_t first_cluster, std::string_view name);

 private:
  struct PendingFolder {
    uint32_t parent = 0;  // cluster of the folder that names it
    uint32_t level = 0;   // depth below the root (root 0)
    bool deleted = false;
    uint64_t created = 0, accessed = 0, modified = 0;
    std::string name;
  };

  void ParseDirectory(uint32_t cluster);
  // Handles one short entry of the directory at `folder`.
  void HandleShortEntry(const DirEntry& entry, std::string name, uint32_t folder, uint32_t level,
                        bool folder_deleted, uint64_t entry_sector);
  uint32_t SearchHighWord(const DirEntry& entry, std::string_view name);
  bool ReadFirstSector(uint32_t cluster, uint8_t* sector);
  void MarkForEmission(uint32_t folder);
  uint32_t root_cluster() const { return volume_.geometry.root_cluster; }

  FatVolume& volume_;
  FatTable& fat_;
  ScanResultStore& store_;
  ContentTest content_test_;

  std::deque<uint32_t> queue_;
  std::unordered_set<uint32_t> parsed_;
  std::unordered_map<uint32_t, PendingFolder> pending_;
  std::vector<uint32_t> emit_list_;
  std::unordered_set<uint32_t> emitted_;
  std::vector<uint8_t> buffer_;  // one cluster or the fixed root
  std::vector<uint8_t> sector_;  // one sector for the content test
  LongNameCollector long_name_;
};

}  // namespace vexlo::fat
