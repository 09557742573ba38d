#include "filesystems/deleted_tree_walker.h"

#include <utility>

namespace vexlo {

DeletedTreeWalker::DeletedTreeWalker(ScanResultStore& store, FirstSectorTest content_test)
    : store_(store), content_test_(std::move(content_test)) {}

ErrorCode DeletedTreeWalker::Walk(const std::function<int32_t()>& after_directory) {
  queue_.clear();
  parsed_.clear();
  folders_.clear();
  emit_list_.clear();
  emitted_.clear();
  folders_[RootCluster()] = Folder{};
  queue_.push_back(RootCluster());
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

void DeletedTreeWalker::AddFolder(uint32_t cluster, Folder folder) {
  folders_[cluster] = std::move(folder);
  queue_.push_back(cluster);
}

bool DeletedTreeWalker::ContentCheck(uint32_t first_cluster, std::string_view name) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty() || !content_test_) return true;
  uint64_t absolute = 0;
  if (!ReadFirstSector(first_cluster, sector_, &absolute)) return true;
  return content_test_(sector_, extension, absolute);
}

ErrorCode DeletedTreeWalker::NewRecord(uint32_t cluster, bool is_folder, bool deleted,
                                       uint64_t created, uint64_t accessed, uint64_t modified,
                                       std::string_view name, FoundFileRecord** out) {
  FoundFileRecord* record = nullptr;
  if (ErrorCode rc = store_.NewRecord(&record); !rc.ok()) return rc;
  const RecordOrigin origin = Origin();
  record->source_id = origin.source_id;
  record->fs_kind = static_cast<uint32_t>(origin.fs_kind);
  record->is_folder = is_folder ? 1 : 0;
  record->deleted = deleted ? 1 : 0;
  record->content_check = 1;
  record->key = cluster;
  record->cluster_bytes = static_cast<int32_t>(origin.cluster_bytes);
  record->created = created;
  record->accessed = accessed;
  record->modified = modified;
  record->data_start = origin.data_start;
  record->partition_start = origin.partition_start;
  record->SetName(name);
  *out = record;
  return err::kSuccess;
}

void DeletedTreeWalker::RecordFile(uint32_t folder_cluster, uint32_t level,
                                   const FoundFileEntry& file) {
  const bool content_ok = ContentCheck(file.first_cluster, file.name);
  FoundFileRecord* record = nullptr;
  if (!NewRecord(file.first_cluster, false, true, file.created, file.accessed, file.modified,
                 file.name, &record)
           .ok()) {
    return;
  }
  record->content_check = content_ok ? 1 : 0;
  record->size = file.size;
  record->entry_sector = file.entry_sector;
  const RecordNumber number = record->record_number;
  if (!store_.Relate(MakeFolderKey(folder_cluster, level), number, file.first_cluster, std::nullopt)
           .ok()) {
    return;
  }
  MarkForEmission(folder_cluster);
}

void DeletedTreeWalker::MarkForEmission(uint32_t folder) {
  // Ancestors of a folder in the list are in it already, which also ends a
  // climb through parents that name each other.
  uint32_t current = folder;
  while (current != RootCluster() && emitted_.insert(current).second) {
    emit_list_.push_back(current);
    const auto it = folders_.find(current);
    if (it == folders_.end()) break;
    current = it->second.parent;
  }
}

ErrorCode DeletedTreeWalker::EmitFolders() {
  for (const uint32_t cluster : emit_list_) {
    const auto it = folders_.find(cluster);
    if (it == folders_.end()) continue;
    const Folder& folder = it->second;
    FoundFileRecord* record = nullptr;
    if (ErrorCode rc = NewRecord(cluster, true, folder.deleted, folder.created, folder.accessed,
                                 folder.modified, folder.name, &record);
        !rc.ok()) {
      return rc;
    }
    const RecordNumber number = record->record_number;
    if (ErrorCode rc = store_.Relate(MakeFolderKey(folder.parent, folder.level - 1), number,
                                     cluster, folder.name);
        !rc.ok()) {
      return rc;
    }
  }
  return err::kSuccess;
}

}  // namespace vexlo
