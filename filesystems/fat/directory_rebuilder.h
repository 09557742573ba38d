// Rebuilds FAT folders from directory sectors found anywhere on a medium,
// without a FAT and without trusting the boot sector.
//
// The formatted scan hands over, in ascending sector order, every sector that
// begins a directory (a "." / ".." pair) and every other sector that looks
// like directory entries. From these the rebuilder
//   - works out cluster layouts (DirectoryGeometry) from pairs of directory
//     starts, or takes the one a surviving boot sector gives;
//   - parses entries with the rules of the quick FAT engine and writes every
//     file entry, deleted or not, to the store at once when its cluster
//     layout is known, or keeps it pending until one is;
//   - stitches long names that a cluster boundary split, by keeping the tail
//     of a directory that ended inside a run of long-name entries until the
//     sector that continues it turns up (later on the medium, or among the
//     sectors stored earlier);
//   - keeps sectors it cannot place yet ("orphans") and tries them again at
//     the end;
//   - files each folder under the folder its own ".." entry names, read from
//     the medium, so that a file's level and its folders' places always agree;
//     a folder whose first cluster no longer begins a directory sits directly
//     below the root, named "LostFolder<cluster>" unless an entry naming it was
//     found.
//
// Bounds, whatever the medium holds: at most kMaxGeometries layouts,
// kMaxDirectoryStarts remembered starts (the candidates for pairing),
// kMaxLongNameTails tails (the oldest goes first), kMaxOrphanBytes of orphan
// sectors (later ones are dropped), kMaxPendingFiles pending files and
// kMaxFolderImages folder entries; parent climbs stop after kMaxFolderDepth
// steps. Memory otherwise grows only with the folders that hold files.
//
// Threading: one thread at a time. Nothing throws; a fault in one entry skips
// that entry.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/scan_result_store.h"
#include "filesystems/fat/directory_geometry.h"
#include "filesystems/fat/fat_volume.h"
#include "ondisk/fat_dir_entry.h"
#include "storage/sector_io.h"

namespace vexlo::fat {

inline constexpr std::size_t kMaxGeometries = 64;
inline constexpr std::size_t kMaxDirectoryStarts = 4096;
inline constexpr std::size_t kMaxLongNameTails = 64;
inline constexpr std::size_t kMaxOrphanBytes = 16u << 20;
inline constexpr std::size_t kMaxPendingFiles = 65536;
inline constexpr std::size_t kMaxFolderImages = 262144;
inline constexpr std::size_t kMaxFolderDepth = 1024;
// The longest run of long-name entries a tail keeps (a 255-character name).
inline constexpr std::size_t kMaxTailBytes = 20 * kDirEntryBytes;
// Largest sector size the rebuilder handles.
inline constexpr uint32_t kMaxRebuildSectorBytes = 4096;

// What the rebuilder reads and where it writes.
struct RebuildSource {
  DiskHandle* disk = nullptr;    // read-only reads of single sectors
  uint32_t sector_bytes = 512;   // the medium's sector size, every number counts in it
  uint64_t partition_start = 0;  // absolute; no cluster may lie before it
  uint64_t medium_sectors = 0;   // reads stop here
  uint16_t source_id = 0;
  ContentTest content_test;  // may be empty: every file then passes
};

class FatDirectoryRebuilder {
 public:
  // Forgets everything and starts writing into `store` (not owned).
  void Reset(const RebuildSource& source, ScanResultStore* store);

  // A layout known in advance (from a boot sector): tried first, and its
  // root cluster (0 for the fixed FAT12/16 root) is the root of the tree.
  void AddKnownGeometry(const DirectoryGeometry& geometry, uint32_t root_cluster);

  // A sector that begins with a "." / ".." pair.
  void DirectoryStart(std::span<const uint8_t> sector, uint64_t sector_number);
  // Any other sector that passes the directory-sector test.
  void DirectoryData(std::span<const uint8_t> sector, uint64_t sector_number);

  // Places what is left, writes the folders and lost folders, and flushes the
  // store. Returns the first store error met during the whole scan.
  ErrorCode Finish();

  const std::vector<DirectoryGeometry>& geometries() const { return geometries_; }
  uint32_t root_cluster() const { return root_; }
  std::size_t pending_files() const { return pending_.size(); }
  std::size_t long_name_tails() const { return tails_.size(); }
  std::size_t orphan_sectors() const { return orphans_.size(); }
  std::size_t orphan_bytes() const { return orphan_pool_.size(); }

 private:
  static constexpr int kNoGeometry = -1;

  // Where parsed directory data belongs.
  struct Context {
    int geometry = kNoGeometry;
    uint32_t directory = 0;    // first cluster of the directory (from ".")
    uint64_t data_sector = 0;  // where the data began: the entry sector of its files
    uint64_t last_sector = 0;  // the data's last sector
  };
  // The directory data parsed last and the sectors that continue it.
  struct Window {
    int geometry = kNoGeometry;
    uint64_t first = 0;
    uint64_t end = 0;  // exclusive
    uint32_t directory = 0;
    bool valid = false;
  };
  struct LongNameTail {
    uint8_t checksum = 0;
    int geometry = kNoGeometry;
    uint32_t directory = 0;
    uint64_t sector = 0;       // where its data began
    uint64_t last_sector = 0;  // the sector the run ends in
    uint16_t length = 0;
    std::array<uint8_t, kMaxTailBytes> bytes{};
  };
  struct Orphan {
    uint64_t sector;
    std::size_t offset;  // into orphan_pool_; kTaken once used
  };
  struct PendingFile {
    FoundFileRecord image;
    uint32_t directory;
    uint64_t data_sector;
  };
  struct FolderImage {
    uint64_t created = 0, accessed = 0, modified = 0;
    bool deleted = false;
    std::string name;
  };
  // A folder on the path of a recorded file.
  struct Folder {
    uint32_t parent;
    uint32_t level;
    int geometry;
  };

  int FindGeometryPlacing(uint32_t cluster, uint64_t sector) const;
  int AddGeometry(const DirectoryGeometry& geometry);
  int PairWithEarlierStarts(const DirectoryPosition& start);

  void Parse(std::span<const uint8_t> bytes, Context context);
  void HandleDirectoryEntry(const DirEntry& entry, std::string name, const Context& context);
  void HandleFileEntry(const DirEntry& entry, std::string name, const Context& context);
  uint32_t SearchHighWord(const DirEntry& entry, std::string_view name, int geometry);
  void WriteFile(const FoundFileRecord& image, uint32_t directory, int geometry);
  void RetryPendingFiles();

  void KeepTail(std::span<const uint8_t> run, const Context& context);
  // Whether the run can go on at `sector_number`: in the next sector of its
  // cluster, or, when it filled its cluster to the end, at the start of a
  // later cluster.
  bool TailCanContinueAt(const LongNameTail& tail, uint64_t sector_number) const;
  bool EndsItsCluster(const LongNameTail& tail) const;
  bool TailMatches(const LongNameTail& tail, std::span<const uint8_t> data,
                   uint64_t sector_number) const;
  bool JoinWithTail(std::span<const uint8_t> data, uint64_t sector_number);
  void ParseJoined(const LongNameTail& tail, std::span<const uint8_t> data, uint64_t sector_number);
  void JoinStoredContinuation();
  void ParseAtClusterBoundary(std::span<const uint8_t> data, uint64_t sector_number, bool* placed);
  bool WindowTakes(uint64_t sector_number);
  void KeepOrphan(std::span<const uint8_t> data, uint64_t sector_number);
  void RetryOrphans();

  uint32_t Root(uint32_t cluster) const { return cluster == 0 ? root_ : cluster; }
  uint32_t LevelOf(uint32_t directory, int geometry);
  uint32_t ParentOnMedium(uint32_t cluster, int geometry);
  bool ReadSector(uint64_t sector_number, uint8_t* into);
  bool ContentCheck(uint32_t first_cluster, std::string_view name, int geometry);
  ErrorCode EmitFolders();
  void Remember(ErrorCode rc) {
    if (!rc.ok() && store_error_.ok()) store_error_ = rc;
  }

  RebuildSource source_;
  ScanResultStore* store_ = nullptr;
  ErrorCode store_error_ = err::kSuccess;
  // Cluster 2 unless a boot sector said otherwise, or a directory turned up
  // at cluster 2 (then the volume is FAT12/16 and its root is the fixed one).
  uint32_t root_ = 2;
  bool root_known_ = false;

  std::vector<DirectoryGeometry> geometries_;
  std::size_t geometries_at_last_retry_ = 0;
  std::vector<DirectoryPosition> starts_;
  Window window_;
  std::deque<LongNameTail> tails_;
  bool tail_added_ = false;
  std::vector<Orphan> orphans_;  // ascending by sector: they arrive in order
  std::vector<uint8_t> orphan_pool_;
  std::vector<PendingFile> pending_;
  std::unordered_map<uint32_t, FolderImage> folder_images_;
  std::unordered_map<uint32_t, Folder> folders_;
  std::vector<uint32_t> folder_order_;

  // Scratch space, sized once.
  std::vector<uint8_t> joined_;
  std::vector<uint8_t> sector_;
  std::vector<uint32_t> chain_;
  std::vector<uint32_t> chain_parents_;
};

}  // namespace vexlo::fat
