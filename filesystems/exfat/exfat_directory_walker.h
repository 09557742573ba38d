// The directory walk of a quick exFAT scan: reading exFAT directories for
// the shared walk of deleted_tree_walker.h, which decides what becomes a
// record.
//
// Bounds: a directory is read for at most 256 MiB (exFAT's own limit) and
// never past its data length, and stops where its chain meets a cluster
// twice; each first cluster is parsed once.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/scan_result_store.h"
#include "filesystems/exfat/exfat_entry_set.h"
#include "filesystems/exfat/exfat_volume.h"
#include "filesystems/volume_tree_walker.h"

namespace vexlo::exfat {

inline constexpr uint64_t kMaxDirectoryBytes = 256ull * 1024 * 1024;

// Where the allocation bitmap lies, from its root-directory entry.
struct BitmapLocation {
  uint32_t first_cluster = 0;
  uint64_t length = 0;
};

class ExFatDirectoryWalker final
    : public VolumeTreeWalker<ExFatVolume, FsKind::kExFatQuick, &ExFatGeometry::heap_offset> {
 public:
  // Everything must outlive the walker; `content_test` may be empty.
  ExFatDirectoryWalker(ExFatVolume& volume, ScanResultStore& store, ContentTest content_test);

 private:
  // How a directory's data lie, which the shared folder record does not keep.
  struct Extent {
    bool contiguous = false;
    uint64_t length = 0;
  };

  void ParseDirectory(uint32_t cluster, const Folder& folder) override;
  void HandleSet(const FileEntrySet& set, uint32_t folder_cluster, const Folder& folder,
                 uint64_t stream_sector);

  std::unordered_map<uint32_t, Extent> extents_;
  std::unordered_set<uint32_t> seen_;  // clusters of the directory being parsed
  std::vector<uint8_t> buffer_;        // one piece of a directory cluster
  EntrySetAssembler assembler_;
};

// The first allocation bitmap the root names (length 0 when none is found
// within the root's first 256 MiB).
BitmapLocation FindAllocationBitmap(ExFatVolume& volume);

}  // namespace vexlo::exfat
