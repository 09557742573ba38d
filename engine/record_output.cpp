#include "engine/record_output.h"

#include <algorithm>
#include <deque>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "engine/copy_trace.h"
#include "engine/file_categories.h"
#include "engine/recovered_file_path.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vexlo {
namespace {

ErrorCode CreateFolders(const std::filesystem::path& folder) {
  if (folder.empty()) return err::kSuccess;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? FromErrno(error.value()) : ErrorCode(err::kSuccess);
}

int32_t Percent(uint64_t done, uint64_t total) {
  return total == 0 ? 100 : static_cast<int32_t>(std::min(done, total) * 100 / total);
}

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

thread_local ShortCopy last_short_copy;

// Writes what `read` gives of `size` bytes into a new file at `path`, handing
// the bytes done so far to `progress` after each piece; a nonzero answer
// stops the copy. Pieces of zeros (the never-written tail of a large video,
// a hole) are skipped rather than written, and the file then takes the
// length of what was delivered, told in *delivered. A `trace` hears every
// piece once it is in the file.
template <class Progress>
ErrorCode ReadIntoFile(const RecordDataReader& read, uint64_t size,
                       const std::filesystem::path& path, Progress&& progress,
                       uint64_t* delivered_bytes, CopyTrace* trace = nullptr) {
  *delivered_bytes = 0;
  if (ErrorCode rc = CreateFolders(path.parent_path()); !rc.ok()) return rc;
  platform::File file;
  // Truncated: a file left at this path must not keep a tail behind the data.
  if (ErrorCode rc = file.Open(path, platform::File::Mode::kCreateTruncate); !rc.ok()) return rc;
  if (size == 0) return err::kSuccess;
  uint64_t delivered = 0;
  ErrorCode rc = read(size, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
    if (!AllZero(bytes)) {
      if (ErrorCode written = file.WriteAt(done - bytes.size(), bytes); !written.ok()) {
        return written;
      }
    }
    if (trace != nullptr) trace->AddBytes(bytes, done - bytes.size());
    delivered = done;
    return progress(done);
  });
  if (ErrorCode sized = file.Truncate(delivered); rc.ok()) rc = sized;
  *delivered_bytes = delivered;
  return rc;
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

ShortCopy LastShortCopy() { return last_short_copy; }

std::filesystem::path PreviewTargetFor(const std::filesystem::path& folder,
                                       std::string_view record_name) {
  const std::string extension = platform::ToLowerAscii(ExtensionOf(record_name));
  if (extension.empty()) return {};
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

ErrorCode WriteRecordFile(const RecordDataReader& read, uint64_t size,
                          const std::filesystem::path& destination,
                          RecoveryProgressCallback callback, void* user,
                          uint64_t unreadable_bytes) {
  const std::string shown = destination.string();
  auto report = [&](int32_t percent, int32_t code, uint64_t unreadable) -> int32_t {
    return callback == nullptr ? 0 : callback(user, percent, 100, code, shown.c_str(), unreadable);
  };
  uint64_t delivered = 0;
  CopyTrace* trace = CopyTrace::Current();
  if (trace != nullptr) trace->BeginFile(destination);
  ErrorCode rc = ReadIntoFile(
      read, size, destination,
      [&](uint64_t done) -> int32_t {
        const int32_t percent = Percent(done, size);
        return percent < 100 ? report(percent, 0, 0) : 0;
      },
      &delivered, trace);
  // Data that ended before the size did (a chain cut by a reused cluster, an
  // unreadable stretch) make no whole file: what arrived is kept, but the
  // file has failed, and the window hears the counts.
  if (rc.ok() && delivered < size) {
    last_short_copy = {delivered, size};
    rc = err::kHandleEof;
  }
  // A file is finished once it is complete on the destination, also when it
  // is empty; the window hears 100 then, and only then, since it may look at
  // the file.
  if (trace != nullptr) trace->EndFile(rc);
  if (rc.ok()) rc = report(100, 0, unreadable_bytes);
  if (rc > 0) (void)report(100, rc, 0);
  return rc;
}

ErrorCode ExtractRecordForPreview(const RecordDataReader& read, const FoundFileRecord& record,
                                  const std::filesystem::path& preview_folder, std::string* path,
                                  uint8_t* buffer, uint32_t* byte_count,
                                  PreviewProgressCallback callback, void* user) {
  auto report = [&](int32_t percent, int32_t code) -> int32_t {
    return callback == nullptr ? 0 : callback(user, percent, code);
  };
  path->clear();
  const uint32_t capacity = *byte_count;
  *byte_count = 0;
  const uint64_t size = record.size;
  ErrorCode rc = err::kSuccess;
  std::filesystem::path target;
  if (record.is_folder != 0) {
    rc = err::kInvalidParameter;
  } else if (target = PreviewTargetFor(preview_folder, record.Name()); !target.empty()) {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    uint64_t delivered = 0;
    rc = ReadIntoFile(
        read, size, target, [&](uint64_t done) { return report(Percent(done, size), 0); },
        &delivered);
    if (rc.ok()) {
      *path = target.string();
    } else {
      std::filesystem::remove(target, ignored);
    }
  } else if (const uint64_t total = std::min<uint64_t>(size, capacity);
             buffer != nullptr && total > 0) {
    rc = read(total, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
      // A reader that oversteps is refused rather than trusted with the buffer.
      if (done > total || bytes.size() > done) return err::kInvalidParameter;
      std::copy(bytes.begin(), bytes.end(), buffer + (done - bytes.size()));
      *byte_count = static_cast<uint32_t>(done);
      return report(Percent(done, total), 0);
    });
  }
  if (rc > 0) (void)report(100, rc);
  return rc;
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
