#include "filesystems/fat/fat_directory_walker.h"

#include <algorithm>
#include <utility>

#include "engine/found_file_record.h"

namespace vexlo::fat {

FatDirectoryWalker::FatDirectoryWalker(FatVolume& volume, FatTable& fat, ScanResultStore& store,
                                       ContentTest content_test)
    : VolumeTreeWalker(volume, store, std::move(content_test)), fat_(fat) {
  const FatGeometry& g = volume_.geometry;
  buffer_.assign(std::max<uint64_t>(g.cluster_bytes, uint64_t{g.root_sectors} * g.bytes_per_sector),
                 0);
}

void FatDirectoryWalker::ParseDirectory(uint32_t cluster, const Folder& folder) {
  const FatGeometry& g = volume_.geometry;
  const bool is_root = cluster == RootCluster();
  long_name_.Reset();
  const bool fixed_root = !g.is_fat32() && cluster == 0;
  uint32_t current = cluster;
  uint64_t bytes_parsed = 0;
  for (bool first_cluster = true;; first_cluster = false) {
    uint64_t sector = 0;
    uint64_t count = 0;
    if (fixed_root) {
      sector = g.root_start();
      count = g.root_sectors;
    } else {
      if (!g.IsValidCluster(current)) return;
      sector = g.ClusterSector(current);
      count = g.sectors_per_cluster;
    }
    uint64_t sectors_read = 0;
    (void)volume_.Read(sector, count, buffer_.data(), &sectors_read);
    if (sectors_read == 0) return;
    const std::size_t entries = sectors_read * g.bytes_per_sector / kDirEntryBytes;
    const bool starts_folder =
        DirEntry(buffer_.data()).is_dot() && DirEntry(buffer_.data() + kDirEntryBytes).is_dot_dot();
    // A folder whose first cluster no longer starts with "." and ".." was
    // reused by something else; what lies there is not its contents. Past
    // the first cluster, a "." and ".." start is another folder's: a deleted
    // folder's guessed chain has run into the subfolder made right after it.
    if (first_cluster && !is_root && !starts_folder) return;
    if (!first_cluster && starts_folder) return;
    const auto on_named = [&](std::size_t i, const DirEntry& entry, std::string name) {
      const uint64_t entry_sector =
          volume_.partition_start + sector + i * kDirEntryBytes / g.bytes_per_sector;
      HandleShortEntry(entry, std::move(name), cluster, folder, entry_sector);
    };
    if (!WalkDirectoryEntries(
            {buffer_.data(), entries * kDirEntryBytes}, long_name_,
            [](std::size_t, const DirEntry&) {}, on_named)) {
      return;
    }
    bytes_parsed += sectors_read * g.bytes_per_sector;
    if (fixed_root || bytes_parsed >= kMaxDirectoryBytes) return;
    current = fat_.NextCluster(current);
    if (current == 0) return;
  }
}

void FatDirectoryWalker::HandleShortEntry(const DirEntry& entry, std::string name,
                                          uint32_t folder_cluster, const Folder& folder,
                                          uint64_t entry_sector) {
  const FatGeometry& g = volume_.geometry;
  const bool lost_high_word = g.is_fat32() && entry.is_deleted() && entry.cluster_high() == 0;
  if (entry.is_directory()) {
    if (entry.is_dot() || entry.is_dot_dot()) return;
    const uint32_t child =
        lost_high_word ? SearchHighWord(entry, name) : entry.FirstCluster(g.is_fat32());
    // A folder parsed already has filed its contents under its first parent.
    if (child == folder_cluster || child == RootCluster() || !g.IsValidCluster(child) ||
        IsParsed(child)) {
      return;
    }
    AddFolder(child, {folder_cluster, folder.level + 1, entry.is_deleted() || folder.deleted,
                      entry.created(), entry.accessed(), entry.modified(), std::move(name)});
    return;
  }
  if (!entry.is_archive() || !(entry.is_deleted() || folder.deleted)) return;
  const uint32_t first =
      lost_high_word ? SearchHighWord(entry, name) : entry.FirstCluster(g.is_fat32());
  RecordFile(folder_cluster, folder.level,
             {first, entry.size(), entry.created(), entry.accessed(), entry.modified(),
              entry_sector, name});
}

uint32_t FatDirectoryWalker::SearchHighWord(const DirEntry& entry, std::string_view name) {
  const FatGeometry& g = volume_.geometry;
  const uint32_t low = entry.cluster_low();
  const bool directory = entry.is_directory();
  const std::string_view extension = ExtensionOf(name);
  if (!directory && (extension.empty() || !content_test())) return low;
  std::vector<uint8_t>& first = sector();
  for (uint32_t high = 0; high <= kMaxSearchedHighWord; ++high) {
    const uint32_t candidate = (high << 16) | low;
    if (candidate < 2) continue;
    if (!g.IsValidCluster(candidate) || g.ClusterSector(candidate) >= volume_.partition_sectors) {
      break;
    }
    uint64_t absolute = 0;
    if (!ReadFirstSector(candidate, first, &absolute)) break;
    if (directory) {
      if (DirEntry(first.data()).is_dot() && DirEntry(first.data() + 32).is_dot_dot()) {
        return candidate;
      }
    } else if (content_test()(first, extension, absolute)) {
      return candidate;
    }
  }
  return low;
}

}  // namespace vexlo::fat
