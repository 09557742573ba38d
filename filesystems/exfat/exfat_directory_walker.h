// The directory walk of a quick exFAT scan.
//
// From the root, every directory the walk meets is parsed once, deleted ones
// included, breadth first. Each deleted file, and each file of a deleted
// folder at any depth, becomes a FoundFileRecord filed under its folder's
// FolderKey (first cluster, depth below the root). Folders wait until a
// recorded file is found below them; only those are emitted, so the result
// tree has no empty branches.
//
// Bounds: a directory is read for at most 256 MiB (exFAT's own limit) and
// never past its data length, and stops where its chain meets a cluster
// twice; each first cluster is
// parsed once; memory grows with the number of folders, not the volume.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/scan_result_store.h"
#include "filesystems/exfat/exfat_entry_set.h"
#include "filesystems/exfat/exfat_volume.h"

namespace vexlo::exfat {

inline constexpr uint64_t kMaxDirectoryBytes = 256ull * 1024 * 1024;

// Where the allocation bitmap lies, from its root-directory entry.
struct BitmapLocation {
  uint32_t first_cluster = 0;
  uint64_t length = 0;
};

class ExFatDirectoryWalker {
 public:
  // Everything must outlive the walker; `content_test` may be empty.
  ExFatDirectoryWalker(ExFatVolume& volume, ScanResultStore& store, ContentTest content_test);

  // Walks the tree; `after_directory` is called after each directory, and a
  // nonzero answer stops the walk and is returned.
  ErrorCode Walk(const std::function<int32_t()>& after_directory);
  // Emits the folders that lead to recorded files; returns the store's error.
  ErrorCode EmitFolders();

 private:
  struct Folder {
    uint32_t parent = 0;  // first cluster of the folder that names it
    uint32_t level = 0;   // depth below the root (root 0)
    bool deleted = false;
    bool contiguous = false;
    uint64_t length = 0;
    uint64_t created = 0, accessed = 0, modified = 0;
    std::string name;
  };

  void ParseDirectory(uint32_t cluster, const Folder& folder);
  void HandleSet(const FileEntrySet& set, uint32_t folder_cluster, const Folder& folder,
                 uint64_t stream_sector);
  bool ContentCheck(uint32_t first_cluster, std::string_view name);
  void MarkForEmission(uint32_t folder);
  uint32_t root_cluster() const { return volume_.geometry.root_cluster; }

  ExFatVolume& volume_;
  ScanResultStore& store_;
  ContentTest content_test_;

  std::deque<uint32_t> queue_;
  std::unordered_set<uint32_t> parsed_;
  std::unordered_map<uint32_t, Folder> folders_;
  std::vector<uint32_t> emit_list_;
  std::unordered_set<uint32_t> emitted_;
  std::unordered_set<uint32_t> seen_;  // clusters of the directory being parsed
  std::vector<uint8_t> buffer_;        // one piece of a directory cluster
  std::vector<uint8_t> sector_;        // one sector for the content test
  EntrySetAssembler assembler_;
};

// The first allocation bitmap the root names (length 0 when none is found
// within the root's first 256 MiB).
BitmapLocation FindAllocationBitmap(ExFatVolume& volume);

// A file record's FILETIMEs, size and name from its set.
void FillRecordFromSet(const FileEntrySet& set, FoundFileRecord* record);

}  // namespace vexlo::exfat
