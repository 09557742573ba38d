#include "filesystems/record_output.h"

#include <algorithm>
#include <deque>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "engine/file_categories.h"
#include "engine/recovered_file_path.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vexlo {
namespace {

ErrorCode CreateFolders(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? FromErrno(error.value()) : ErrorCode(err::kSuccess);
}

// The level the store filed `folder`'s children under: one below the list
// that holds the folder itself.
uint32_t ChildLevelOf(const ScanResultStore& store, const FoundFileRecord& folder) {
  const RecordNumber number = folder.record_number;  // packed: never bind it to a reference
  for (const auto& [parent, records] : store.relation_map()) {
    if (std::find(records.begin(), records.end(), number) != records.end()) {
      return FolderKeyLevel(parent) + 1;
    }
  }
  return 1;
}

}  // namespace

std::filesystem::path PreviewTargetFor(std::string_view record_name) {
  const std::string extension = platform::ToLowerAscii(ExtensionOf(record_name));
  if (extension.empty()) return {};
  const std::filesystem::path folder = platform::ScanLogRoot();
  std::filesystem::path target;
  if (IsInList(kDocumentPreviewList, extension)) {
    target = folder / SanitizeNameComponent(record_name);
  }
  if (IsInList(kAudioList, extension) || IsInList(kVideoList, extension)) {
    target = folder / "tmp.avi";
  } else if (IsInList(kPhotoList, extension)) {
    target = folder / "tmp.jpg";
  }
  if (target.native().size() >= kPreviewPathCapacity) return {};
  return target;
}

ErrorCode CopyFolderTree(ScanResultStore* store, const FoundFileRecord& folder,
                         const std::filesystem::path& destination,
                         const RecordFileWriter& write_file) {
  if (ErrorCode rc = CreateFolders(destination); !rc.ok()) return rc;
  if (store == nullptr || !store->is_open()) return err::kSuccess;
  if (ErrorCode rc = store->Flush(); !rc.ok()) return rc;
  struct Pending {
    FoundFileRecord folder;
    std::filesystem::path path;
    uint32_t level;
  };
  std::deque<Pending> queue;
  queue.push_back({folder, destination, ChildLevelOf(*store, folder)});
  std::unordered_set<RecordNumber> visited{RecordNumber{folder.record_number}};
  std::vector<FoundFileRecord> children;
  while (!queue.empty()) {
    const Pending current = std::move(queue.front());
    queue.pop_front();
    children.clear();
    if (!store->ListFolder(MakeFolderKey(current.folder.key, current.level), &children).ok()) {
      continue;
    }
    for (const FoundFileRecord& child : children) {
      const std::filesystem::path path = current.path / SanitizeNameComponent(child.Name());
      if (child.is_folder != 0) {
        if (!visited.insert(RecordNumber{child.record_number}).second) continue;
        if (CreateFolders(path).ok()) queue.push_back({child, path, current.level + 1});
      } else if (write_file(child, path) == kCancelCode) {
        return kCancelCode;
      }
    }
  }
  return err::kSuccess;
}

}  // namespace vexlo
