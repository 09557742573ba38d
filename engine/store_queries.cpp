#include "engine/store_queries.h"

#include <algorithm>
#include <limits>

namespace vexlo {
namespace {

// The folder key a query names, or nothing for a root query with a level.
bool QueryKey(const FoundFileRecord* folder, uint32_t level, uint32_t root_key, FolderKey* key) {
  if (folder == nullptr) {
    if (level != 0) return false;
    *key = MakeFolderKey(root_key, 0);
    return true;
  }
  *key = MakeFolderKey(folder->key, level);
  return true;
}

}  // namespace

ErrorCode StoreOpen(const std::filesystem::path& folder, const std::string& record_file_name,
                    SearchProgressCallback callback, void* user,
                    std::unique_ptr<ScanResultStore>* store) {
  store->reset();
  auto opened = std::make_unique<ScanResultStore>();
  if (ErrorCode rc = opened->Open(folder, record_file_name); !rc.ok()) {
    return rc;
  }
  opened->SetSearchCallback(callback, user);
  *store = std::move(opened);
  return err::kSuccess;
}

ErrorCode StoreListFolder(ScanResultStore* store, const FoundFileRecord* folder, uint32_t level,
                          uint32_t root_key, std::vector<FoundFileRecord>* out) {
  FolderKey key = 0;
  if (!QueryKey(folder, level, root_key, &key)) return err::kInvalidParameter;
  if (store == nullptr || !store->is_open()) return err::kSuccess;
  if (ErrorCode rc = store->Flush(); !rc.ok()) return rc;
  return store->ListFolder(key, out);
}

ErrorCode StoreCountFiles(ScanResultStore* store, const FoundFileRecord* folder, uint32_t level,
                          uint32_t root_key, uint32_t* count) {
  *count = 0;
  FolderKey key = 0;
  if (!QueryKey(folder, level, root_key, &key)) return err::kInvalidParameter;
  if (store == nullptr || !store->is_open()) return err::kSuccess;
  if (ErrorCode rc = store->Flush(); !rc.ok()) return rc;
  uint64_t files = 0;
  ErrorCode rc = store->CountFiles(key, &files);
  *count = static_cast<uint32_t>(std::min<uint64_t>(files, std::numeric_limits<uint32_t>::max()));
  return rc;
}

uint64_t StoreRecordCount(const ScanResultStore* store) {
  return store != nullptr && store->is_open() ? store->Count() : 0;
}

ErrorCode StoreFullPath(ScanResultStore* store, const FoundFileRecord& record, std::string* path) {
  path->clear();
  if (store == nullptr || !store->is_open()) return err::kSuccess;
  return store->PathText(record, path);
}

ErrorCode StoreSetSearchCallback(ScanResultStore* store, SearchProgressCallback callback,
                                 void* user) {
  if (store == nullptr) return err::kInvalidParameter;
  store->SetSearchCallback(callback, user);
  return err::kSuccess;
}

ErrorCode StoreFindFiles(ScanResultStore* store, std::string_view type_filter,
                         std::vector<FoundFileRecord>* out) {
  if (store == nullptr || !store->is_open()) return err::kSuccess;
  return store->SearchExtensions(type_filter, out);
}

}  // namespace vexlo
