#include "filesystems/fat/fat_directory_walker.h"

#include <algorithm>
#include <utility>

#include "engine/found_file_record.h"

namespace vexlo::fat {

FatDirectoryWalker::FatDirectoryWalker(FatVolume& volume, FatTable& fat, ScanResultStore& store,
                                       ContentTest content_test)
    : volume_(volume), fat_(fat), store_(store), content_test_(std::move(content_test)) {}

ErrorCode FatDirectoryWalker::Walk(const std::function<int32_t()>& after_directory) {
  const FatGeometry& g = volume_.geometry;
  queue_.clear();
  parsed_.clear();
  pending_.clear();
  emit_list_.clear();
  emitted_.clear();
  buffer_.assign(std::max<uint64_t>(g.cluster_bytes, uint64_t{g.root_sectors} * g.bytes_per_sector),
                 0);
  sector_.assign(g.bytes_per_sector, 0);

  queue_.push_back(root_cluster());
  while (!queue_.empty()) {
    const uint32_t cluster = queue_.front();
    queue_.pop_front();
    if (!parsed_.insert(cluster).second) continue;
    ParseDirectory(cluster);
    if (after_directory) {
      if (const int32_t answer = after_directory(); answer != 0) return answer;
    }
  }
  return err::kSuccess;
}

void FatDirectoryWalker::ParseDirectory(uint32_t cluster) {
  const FatGeometry& g = volume_.geometry;
  const bool is_root = cluster == root_cluster();
  bool deleted = false;
  uint32_t level = 0;
  if (!is_root) {
    const auto it = pending_.find(cluster);
    if (it == pending_.end()) return;
    deleted = it->second.deleted;
    level = it->second.level;
  }
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
    // A folder whose first cluster no longer starts with "." and ".." was
    // reused by something else; what lies there is not its contents.
    if (first_cluster && !is_root &&
        !(DirEntry(buffer_.data()).is_dot() && DirEntry(buffer_.data() + 32).is_dot_dot())) {
      return;
    }
    for (std::size_t i = 0; i < entries; ++i) {
      const uint8_t* bytes = buffer_.data() + i * kDirEntryBytes;
      const DirEntry entry(bytes);
      if (entry.is_end()) return;
      const uint8_t* next = i + 1 < entries ? bytes + kDirEntryBytes : nullptr;
      if (!IsValidEntry(bytes, next)) {
        long_name_.Reset();
        continue;
      }
      if (entry.is_long_name()) {
        if (!long_name_.Add(entry)) return;
        continue;
      }
      if (entry.is_volume_label()) {
        long_name_.Reset();
        continue;
      }
      std::string name = long_name_.TakeFor(entry);
      if (name.empty()) name = ShortEntryName(entry);
      const uint64_t entry_sector =
          volume_.partition_start + sector + i * kDirEntryBytes / g.bytes_per_sector;
      HandleShortEntry(entry, std::move(name), cluster, level, deleted, entry_sector);
    }
    bytes_parsed += sectors_read * g.bytes_per_sector;
    if (fixed_root || bytes_parsed >= kMaxDirectoryBytes) return;
    current = fat_.NextCluster(current);
    if (current == 0) return;
  }
}

void FatDirectoryWalker::HandleShortEntry(const DirEntry& entry, std::string name, uint32_t folder,
                                          uint32_t level, bool folder_deleted,
                                          uint64_t entry_sector) {
  const FatGeometry& g = volume_.geometry;
  const bool lost_high_word = g.is_fat32() && entry.is_deleted() && entry.cluster_high() == 0;
  if (entry.is_directory()) {
    if (entry.is_dot() || entry.is_dot_dot()) return;
    const uint32_t child =
        lost_high_word ? SearchHighWord(entry, name) : entry.FirstCluster(g.is_fat32());
    // A folder parsed already has filed its contents under its first parent.
    if (child == folder || child == root_cluster() || !g.IsValidCluster(child) ||
        parsed_.contains(child)) {
      return;
    }
    PendingFolder& pending = pending_[child];
    pending.parent = folder;
    pending.level = level + 1;
    pending.deleted = entry.is_deleted() || folder_deleted;
    pending.created = entry.created();
    pending.accessed = entry.accessed();
    pending.modified = entry.modified();
    pending.name = std::move(name);
    queue_.push_back(child);
    return;
  }
  if (!entry.is_archive() || !(entry.is_deleted() || folder_deleted)) return;

  const uint32_t first =
      lost_high_word ? SearchHighWord(entry, name) : entry.FirstCluster(g.is_fat32());
  const bool content_ok = ContentCheck(first, name);
  FoundFileRecord* record = nullptr;
  if (!store_.NewRecord(&record).ok()) return;
  record->source_id = volume_.source_id;
  record->fs_kind = static_cast<uint32_t>(FsKind::kFatQuick);
  record->is_folder = 0;
  record->deleted = 1;
  record->content_check = content_ok ? 1 : 0;
  record->key = first;
  record->cluster_bytes = static_cast<int32_t>(g.cluster_bytes);
  record->created = entry.created();
  record->accessed = entry.accessed();
  record->modified = entry.modified();
  record->size = entry.size();
  record->data_start = g.data_start;
  record->entry_sector = entry_sector;
  record->partition_start = volume_.partition_start;
  record->SetName(name);
  const RecordNumber number = record->record_number;
  if (!store_.Relate(MakeFolderKey(folder, level), number, first, std::nullopt).ok()) return;
  MarkForEmission(folder);
}

void FatDirectoryWalker::MarkForEmission(uint32_t folder) {
  // Ancestors of a folder in the list are in it already, which also ends a
  // climb through parents that name each other.
  uint32_t current = folder;
  while (current != root_cluster() && emitted_.insert(current).second) {
    emit_list_.push_back(current);
    const auto it = pending_.find(current);
    if (it == pending_.end()) break;
    current = it->second.parent;
  }
}

ErrorCode FatDirectoryWalker::EmitFolders() {
  const FatGeometry& g = volume_.geometry;
  for (const uint32_t cluster : emit_list_) {
    const auto it = pending_.find(cluster);
    if (it == pending_.end()) continue;
    const PendingFolder& folder = it->second;
    FoundFileRecord* record = nullptr;
    if (ErrorCode rc = store_.NewRecord(&record); !rc.ok()) return rc;
    record->source_id = volume_.source_id;
    record->fs_kind = static_cast<uint32_t>(FsKind::kFatQuick);
    record->is_folder = 1;
    record->deleted = folder.deleted ? 1 : 0;
    record->content_check = 1;
    record->key = cluster;
    record->cluster_bytes = static_cast<int32_t>(g.cluster_bytes);
    record->created = folder.created;
    record->accessed = folder.accessed;
    record->modified = folder.modified;
    record->data_start = g.data_start;
    record->SetName(folder.name);
    const RecordNumber number = record->record_number;
    if (ErrorCode rc = store_.Relate(MakeFolderKey(folder.parent, folder.level - 1), number,
                                     cluster, folder.name);
        !rc.ok()) {
      return rc;
    }
  }
  return err::kSuccess;
}

bool FatDirectoryWalker::ReadFirstSector(uint32_t cluster, uint8_t* sector) {
  const FatGeometry& g = volume_.geometry;
  if (!g.IsValidCluster(cluster)) return false;
  uint64_t sectors_read = 0;
  (void)volume_.Read(g.ClusterSector(cluster), 1, sector, &sectors_read);
  return sectors_read == 1;
}

bool FatDirectoryWalker::ContentCheck(uint32_t first_cluster, std::string_view name) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty() || !content_test_) return true;
  if (!ReadFirstSector(first_cluster, sector_.data())) return true;
  return content_test_(sector_, extension,
                       volume_.partition_start + volume_.geometry.ClusterSector(first_cluster));
}

uint32_t FatDirectoryWalker::SearchHighWord(const DirEntry& entry, std::string_view name) {
  const FatGeometry& g = volume_.geometry;
  const uint32_t low = entry.cluster_low();
  const bool directory = entry.is_directory();
  const std::string_view extension = ExtensionOf(name);
  if (!directory && (extension.empty() || !content_test_)) return low;
  for (uint32_t high = 0; high <= kMaxSearchedHighWord; ++high) {
    const uint32_t candidate = (high << 16) | low;
    if (candidate < 2) continue;
    if (!g.IsValidCluster(candidate) || g.ClusterSector(candidate) >= volume_.partition_sectors) {
      break;
    }
    if (!ReadFirstSector(candidate, sector_.data())) break;
    if (directory) {
      if (DirEntry(sector_.data()).is_dot() && DirEntry(sector_.data() + 32).is_dot_dot()) {
        return candidate;
      }
    } else if (content_test_(sector_, extension,
                             volume_.partition_start + g.ClusterSector(candidate))) {
      return candidate;
    }
  }
  return low;
}

}  // namespace vexlo::fat
