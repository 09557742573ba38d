#include "filesystems/exfat/exfat_directory_walker.h"

#include <algorithm>
#include <utility>

#include "engine/found_file_record.h"
#include "filesystems/exfat/exfat_entry_set.h"
#include "platform/text.h"

namespace vexlo::exfat {
namespace {

constexpr std::size_t kPieceBytes = 65536;

}  // namespace

BitmapLocation FindAllocationBitmap(ExFatVolume& volume) {
  const ExFatGeometry& g = volume.geometry;
  std::vector<uint8_t> sector(g.bytes_per_sector);
  ClusterRun run(volume, g.root_cluster, ClustersFor(g, kMaxDirectoryBytes), false);
  for (uint32_t cluster = run.Next(); cluster != 0; cluster = run.Next()) {
    for (uint32_t s = 0; s < g.sectors_per_cluster; ++s) {
      uint64_t sectors_read = 0;
      (void)volume.Read(g.ClusterSector(cluster) + s, 1, sector.data(), &sectors_read);
      if (sectors_read == 0) return {};
      for (std::size_t at = 0; at < sector.size(); at += kEntryBytes) {
        const std::span<const uint8_t> entry(sector.data() + at, kEntryBytes);
        if (entry[0] == kTypeEndOfDirectory) return {};
        // Bit 0 marks the second bitmap, which only two-FAT volumes have.
        if (entry[0] == (kTypeBitmap | kTypeInUse) && (data_entry::kFlags.Load(entry) & 1) == 0) {
          return {data_entry::kFirstCluster.Load(entry), data_entry::kDataLength.Load(entry)};
        }
      }
    }
  }
  return {};
}

ExFatDirectoryWalker::ExFatDirectoryWalker(ExFatVolume& volume, ScanResultStore& store,
                                           ContentTest content_test)
    : VolumeTreeWalker(volume, store, std::move(content_test)) {
  buffer_.assign(std::min<std::size_t>(volume_.geometry.cluster_bytes, kPieceBytes), 0);
  // The root has no stream extension to say how long it is.
  extents_[RootCluster()] = {false, kMaxDirectoryBytes};
}

void ExFatDirectoryWalker::ParseDirectory(uint32_t cluster, const Folder& folder) {
  const ExFatGeometry& g = volume_.geometry;
  const Extent extent = extents_[cluster];
  const uint64_t length = std::min(extent.length, kMaxDirectoryBytes);
  const uint32_t bps = g.bytes_per_sector;
  const uint64_t piece_sectors = buffer_.size() / bps;
  assembler_.Reset();
  seen_.clear();
  ClusterRun run(volume_, cluster, ClustersFor(g, length), extent.contiguous);
  for (uint32_t current = run.Next(); current != 0; current = run.Next()) {
    // A chain that comes back on itself would list the same sets again.
    if (!seen_.insert(current).second) return;
    for (uint64_t offset = 0; offset < g.sectors_per_cluster; offset += piece_sectors) {
      const uint64_t first = g.ClusterSector(current) + offset;
      uint64_t sectors_read = 0;
      (void)volume_.Read(first, piece_sectors, buffer_.data(), &sectors_read);
      if (sectors_read == 0) return;
      const std::size_t entries = sectors_read * bps / kEntryBytes;
      for (std::size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = buffer_.data() + i * kEntryBytes;
        if (entry[0] == kTypeEndOfDirectory) return;
        const uint64_t sector = volume_.partition_start + first + i * kEntryBytes / bps;
        if (!assembler_.Add(entry, sector)) continue;
        if (const auto set = ParseEntrySet(assembler_.set())) {
          HandleSet(*set, cluster, folder, assembler_.stream_sector());
        }
      }
    }
  }
}

void ExFatDirectoryWalker::HandleSet(const FileEntrySet& set, uint32_t folder_cluster,
                                     const Folder& folder, uint64_t stream_sector) {
  const ExFatGeometry& g = volume_.geometry;
  const bool deleted = set.deleted || folder.deleted;
  if (set.is_directory()) {
    const uint32_t child = set.first_cluster;
    // A folder met before keeps the place where it was first named.
    if (child == RootCluster() || !g.IsValidCluster(child) || IsKnownFolder(child)) return;
    extents_[child] = {set.no_fat_chain, set.data_length};
    AddFolder(child, {folder_cluster, folder.level + 1, deleted, set.created.ToFiletime(),
                      set.accessed.ToFiletime(), set.modified.ToFiletime(),
                      platform::Utf16ToUtf8(set.name)});
    return;
  }
  if (!deleted) return;
  if (set.data_length != 0 && !g.IsValidCluster(set.first_cluster)) return;
  // Converted only here: live files, the bulk of a walk, never need a name.
  const std::string name = platform::Utf16ToUtf8(set.name);
  RecordFile(folder_cluster, folder.level,
             {set.first_cluster, set.data_length, set.created.ToFiletime(),
              set.accessed.ToFiletime(), set.modified.ToFiletime(), stream_sector, name});
}

}  // namespace vexlo::exfat
