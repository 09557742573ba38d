#include "filesystems/exfat/exfat_directory_walker.h"

#include <algorithm>
#include <utility>

#include "engine/found_file_record.h"
#include "filesystems/fat/fat_bytes.h"
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
        const uint8_t* entry = sector.data() + at;
        if (entry[0] == kTypeEndOfDirectory) return {};
        // Bit 0 marks the second bitmap, which only two-FAT volumes have.
        if (entry[0] == (kTypeBitmap | kTypeInUse) && (entry[1] & 1) == 0) {
          return {fat::Le32(entry + 20),
                  uint64_t{fat::Le32(entry + 24)} | (uint64_t{fat::Le32(entry + 28)} << 32)};
        }
      }
    }
  }
  return {};
}

void FillRecordFromSet(const FileEntrySet& set, FoundFileRecord* record) {
  record->created = set.created.ToFiletime();
  record->modified = set.modified.ToFiletime();
  record->accessed = set.accessed.ToFiletime();
  record->size = set.is_directory() ? 0 : set.data_length;
  record->SetName(platform::Utf16ToUtf8(set.name));
}

ExFatDirectoryWalker::ExFatDirectoryWalker(ExFatVolume& volume, ScanResultStore& store,
                                           ContentTest content_test)
    : volume_(volume), store_(store), content_test_(std::move(content_test)) {}

ErrorCode ExFatDirectoryWalker::Walk(const std::function<int32_t()>& after_directory) {
  const ExFatGeometry& g = volume_.geometry;
  queue_.clear();
  parsed_.clear();
  folders_.clear();
  emit_list_.clear();
  emitted_.clear();
  buffer_.assign(std::min<std::size_t>(g.cluster_bytes, kPieceBytes), 0);
  sector_.assign(g.bytes_per_sector, 0);

  Folder root;
  root.length = kMaxDirectoryBytes;
  folders_[root_cluster()] = root;
  queue_.push_back(root_cluster());
  while (!queue_.empty()) {
    const uint32_t cluster = queue_.front();
    queue_.pop_front();
    if (!parsed_.insert(cluster).second) continue;
    const Folder folder = folders_.at(cluster);  // a copy: parsing adds to the map
    ParseDirectory(cluster, folder);
    if (after_directory) {
      if (const int32_t answer = after_directory(); answer != 0) return answer;
    }
  }
  return err::kSuccess;
}

void ExFatDirectoryWalker::ParseDirectory(uint32_t cluster, const Folder& folder) {
  const ExFatGeometry& g = volume_.geometry;
  const uint64_t length = std::min(folder.length, kMaxDirectoryBytes);
  const uint32_t bps = g.bytes_per_sector;
  const uint64_t piece_sectors = buffer_.size() / bps;
  assembler_.Reset();
  seen_.clear();
  ClusterRun run(volume_, cluster, ClustersFor(g, length), folder.contiguous);
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
  if (set.is_directory()) {
    const uint32_t child = set.first_cluster;
    // A folder met before keeps the place where it was first named.
    if (child == root_cluster() || !g.IsValidCluster(child) || folders_.contains(child)) return;
    Folder& pending = folders_[child];
    pending.parent = folder_cluster;
    pending.level = folder.level + 1;
    pending.deleted = set.deleted || folder.deleted;
    pending.contiguous = set.no_fat_chain;
    pending.length = set.data_length;
    pending.created = set.created.ToFiletime();
    pending.accessed = set.accessed.ToFiletime();
    pending.modified = set.modified.ToFiletime();
    pending.name = platform::Utf16ToUtf8(set.name);
    queue_.push_back(child);
    return;
  }
  if (!(set.deleted || folder.deleted)) return;
  if (set.data_length != 0 && !g.IsValidCluster(set.first_cluster)) return;

  FoundFileRecord* record = nullptr;
  if (!store_.NewRecord(&record).ok()) return;
  FillRecordFromSet(set, record);
  record->source_id = volume_.source_id;
  record->fs_kind = static_cast<uint32_t>(FsKind::kExFatQuick);
  record->is_folder = 0;
  record->deleted = 1;
  record->content_check = ContentCheck(set.first_cluster, record->Name()) ? 1 : 0;
  record->key = set.first_cluster;
  record->cluster_bytes = static_cast<int32_t>(g.cluster_bytes);
  record->data_start = g.heap_offset;
  record->entry_sector = stream_sector;
  record->partition_start = volume_.partition_start;
  const RecordNumber number = record->record_number;
  if (!store_
           .Relate(MakeFolderKey(folder_cluster, folder.level), number, set.first_cluster,
                   std::nullopt)
           .ok()) {
    return;
  }
  MarkForEmission(folder_cluster);
}

void ExFatDirectoryWalker::MarkForEmission(uint32_t folder) {
  // Ancestors of a folder in the list are in it already, which also ends a
  // climb through parents that name each other.
  uint32_t current = folder;
  while (current != root_cluster() && emitted_.insert(current).second) {
    emit_list_.push_back(current);
    const auto it = folders_.find(current);
    if (it == folders_.end()) break;
    current = it->second.parent;
  }
}

ErrorCode ExFatDirectoryWalker::EmitFolders() {
  const ExFatGeometry& g = volume_.geometry;
  for (const uint32_t cluster : emit_list_) {
    const auto it = folders_.find(cluster);
    if (it == folders_.end()) continue;
    const Folder& folder = it->second;
    FoundFileRecord* record = nullptr;
    if (ErrorCode rc = store_.NewRecord(&record); !rc.ok()) return rc;
    record->source_id = volume_.source_id;
    record->fs_kind = static_cast<uint32_t>(FsKind::kExFatQuick);
    record->is_folder = 1;
    record->deleted = folder.deleted ? 1 : 0;
    record->content_check = 1;
    record->key = cluster;
    record->cluster_bytes = static_cast<int32_t>(g.cluster_bytes);
    record->created = folder.created;
    record->accessed = folder.accessed;
    record->modified = folder.modified;
    record->data_start = g.heap_offset;
    record->partition_start = volume_.partition_start;
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

bool ExFatDirectoryWalker::ContentCheck(uint32_t first_cluster, std::string_view name) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty() || !content_test_) return true;
  const ExFatGeometry& g = volume_.geometry;
  if (!g.IsValidCluster(first_cluster)) return true;
  uint64_t sectors_read = 0;
  (void)volume_.Read(g.ClusterSector(first_cluster), 1, sector_.data(), &sectors_read);
  if (sectors_read != 1) return true;
  return content_test_(sector_, extension,
                       volume_.partition_start + g.ClusterSector(first_cluster));
}

}  // namespace vexlo::exfat
