// The part of a quick scan's directory walk that every FAT-like file system
// takes the same way: which folders wait, which files become records, and
// which folders are emitted at the end.
//
// From the root, every directory the walk meets is parsed once, deleted ones
// included, breadth first; a file system's walker only reads its own entries
// (ParseDirectory) and reports what they name. Each deleted file, and each
// file of a deleted folder at any depth, becomes a FoundFileRecord filed under
// its folder's FolderKey (first cluster, depth below the root). Folders wait
// until a recorded file is found below them; only those are emitted, so the
// result tree holds no empty branches.
//
// Memory grows with the number of folders, not with the volume's size.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/found_file_record.h"
#include "engine/scan_result_store.h"
#include "platform/non_copyable.h"

namespace vexlo {

// Tells whether a file's first sector looks like its extension says;
// `sector` is absolute. Bound to the signature tests.
using FirstSectorTest = std::function<bool(std::span<const uint8_t> first_sector,
                                           std::string_view extension, uint64_t sector)>;

// What every record of one scanned volume carries alike.
struct RecordOrigin {
  uint16_t source_id = 0;
  FsKind fs_kind = FsKind::kFatQuick;
  uint32_t cluster_bytes = 0;
  uint64_t data_start = 0;       // sector of cluster 2, relative to the partition
  uint64_t partition_start = 0;  // absolute, in the volume's sector size
};

// A file entry the walk decided to record.
struct FoundFileEntry {
  uint32_t first_cluster = 0;
  uint64_t size = 0;
  uint64_t created = 0, accessed = 0, modified = 0;
  uint64_t entry_sector = 0;  // absolute sector of the entry that holds the size
  std::string_view name;      // the whole name as the medium has it
};

class DeletedTreeWalker : NonCopyable {
 public:
  virtual ~DeletedTreeWalker() = default;

  // Walks the tree. `after_directory` is called after each parsed directory;
  // a nonzero answer stops the walk and is returned.
  ErrorCode Walk(const std::function<int32_t()>& after_directory);
  // Emits the folders that lead to recorded files; returns the store's error.
  ErrorCode EmitFolders();

 protected:
  struct Folder {
    uint32_t parent = 0;  // first cluster of the folder that names it
    uint32_t level = 0;   // depth below the root (root 0)
    bool deleted = false;
    uint64_t created = 0, accessed = 0, modified = 0;
    std::string name;
  };

  // Everything must outlive the walker; `content_test` may be empty.
  DeletedTreeWalker(ScanResultStore& store, FirstSectorTest content_test);

  // The volume's side: where the walk starts, what its records carry, how a
  // directory is parsed, and how a cluster's first sector is read (false
  // when the cluster is not in the data area or cannot be read).
  virtual uint32_t RootCluster() const = 0;
  virtual RecordOrigin Origin() const = 0;
  virtual void ParseDirectory(uint32_t cluster, const Folder& folder) = 0;
  virtual bool ReadFirstSector(uint32_t cluster, std::vector<uint8_t>& sector,
                               uint64_t* absolute_sector) = 0;

  // A folder met in a directory, to be parsed later (replacing what an
  // earlier entry said about the same cluster).
  void AddFolder(uint32_t cluster, Folder folder);
  bool IsKnownFolder(uint32_t cluster) const { return folders_.contains(cluster); }
  bool IsParsed(uint32_t cluster) const { return parsed_.contains(cluster); }
  // Records `file` under the folder at `folder_cluster`, depth `level`.
  void RecordFile(uint32_t folder_cluster, uint32_t level, const FoundFileEntry& file);

  const FirstSectorTest& content_test() const { return content_test_; }
  std::vector<uint8_t>& sector() { return sector_; }  // one sector's room for the reads above

 private:
  // A new record of this volume with the fields files and folders share.
  ErrorCode NewRecord(uint32_t cluster, bool is_folder, bool deleted, uint64_t created,
                      uint64_t accessed, uint64_t modified, std::string_view name,
                      FoundFileRecord** record);
  void MarkForEmission(uint32_t folder);
  // The content_check a file named `name` starting at `first_cluster` gets:
  // true without an extension, without a test, or when nothing could be read.
  bool ContentCheck(uint32_t first_cluster, std::string_view name);

  ScanResultStore& store_;
  FirstSectorTest content_test_;
  std::deque<uint32_t> queue_;
  std::unordered_set<uint32_t> parsed_;
  std::unordered_map<uint32_t, Folder> folders_;
  std::vector<uint32_t> emit_list_;
  std::unordered_set<uint32_t> emitted_;
  std::vector<uint8_t> sector_;
};

}  // namespace vexlo
