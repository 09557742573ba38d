#include "engine/recovery_run.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "engine/guarded_call.h"
#include "platform/file.h"
#include "platform/filetime.h"

namespace vexlo {
namespace {

uint64_t FiletimeNow() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  const auto nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds);
  return platform::FiletimeFromUnix(seconds.count(), nanoseconds.count());
}

// The folder record at `folder_path` ("A/B/"), found by walking down from
// the root by name: the engines tell a folder's children, not a path's
// folder. Of two folders of one name (one deleted, one made anew) the first
// listed is taken.
std::optional<FoundFileRecord> FindFolder(IFileRecoveryParse& engine,
                                          std::string_view folder_path) {
  std::optional<FoundFileRecord> folder;
  uint32_t level = 0;
  std::vector<FoundFileRecord> children;
  while (!folder_path.empty()) {
    const std::size_t slash = folder_path.find('/');
    const std::string_view name = folder_path.substr(0, slash);
    folder_path.remove_prefix(slash == std::string_view::npos ? folder_path.size() : slash + 1);
    if (name.empty()) continue;
    children.clear();
    if (!engine.ListFolder(folder ? &*folder : nullptr, level, &children).ok()) return std::nullopt;
    const auto found = std::find_if(
        children.begin(), children.end(),
        [&](const FoundFileRecord& r) { return r.is_folder != 0 && r.Name() == name; });
    if (found == children.end()) return std::nullopt;
    folder = *found;
    ++level;
  }
  return folder;
}

}  // namespace

RecoveryRun::RecoveryRun(std::vector<RecoverySource> sources,
                         std::filesystem::path destination_root, RecoveryProgressCallback callback,
                         void* user, RecoveryOptions options)
    : sources_(std::move(sources)),
      root_(std::move(destination_root)),
      callback_(callback),
      user_(user),
      options_(options) {}

const RecoverySource* RecoveryRun::SourceFor(uint16_t source_id) const {
  for (const RecoverySource& source : sources_) {
    if (source.source_id == source_id && source.engine != nullptr) return &source;
  }
  return nullptr;
}

std::filesystem::path RecoveryRun::DestinationOf(const RecoverySource* source,
                                                 const FoundFileRecord& record,
                                                 const std::string& folder_path) {
  if (!options_.keep_folders) return names_.Claim(DestinationPath(root_, record.Name()));
  const std::string source_name = source != nullptr && !source->name.empty()
                                      ? source->name
                                      : "source " + std::to_string(uint32_t{record.source_id});
  const bool carved = record.fs_kind == static_cast<uint32_t>(FsKind::kCarving);
  const std::filesystem::path path =
      KeptFolderPath(root_, source_name, folder_path, record.Name(), carved);
  if (options_.keep_times && source != nullptr && !carved) {
    // Each folder between the source's folder and the file, with its path
    // on the medium, for DateFolders.
    std::filesystem::path folder = path.parent_path();
    std::string medium_path = folder_path;
    while (!medium_path.empty() && medium_path != "/") {
      made_folders_.emplace(folder, std::make_pair(uint16_t{record.source_id}, medium_path));
      medium_path.pop_back();
      const std::size_t slash = medium_path.rfind('/');
      medium_path.erase(slash == std::string::npos ? 0 : slash + 1);
      folder = folder.parent_path();
    }
  }
  return names_.Claim(path);
}

ErrorCode RecoveryRun::RecoverOne(const RecoverySource* source, const FoundFileRecord& record,
                                  uint32_t separators, ErrorCode* run_end) {
  std::string folder_path;
  if (source != nullptr &&
      !GuardedCall([&] { return source->engine->GetFullPath(record, &folder_path); }).ok()) {
    folder_path.clear();
  }
  const std::filesystem::path destination = DestinationOf(source, record, folder_path);
  RecoveryOutcome outcome;
  outcome.record = record;
  outcome.source_name = source != nullptr ? source->name : std::string();
  outcome.original_path = folder_path + std::string(record.Name());
  if (source == nullptr) {
    // Its source is no longer scanned: nothing can read the data.
    outcome.result = err::kInvalidParameter;
    outcome.written.result = outcome.result;
    outcomes_.push_back(std::move(outcome));
    if (callback_ != nullptr) {
      (void)callback_(user_, 100, 100, err::kInvalidParameter, destination.string().c_str(), 0);
    }
    return err::kInvalidParameter;
  }
  if (ErrorCode rc = source->engine->SetProgressCallbacks(nullptr, callback_, user_, 100);
      !rc.ok()) {
    *run_end = rc;
    return rc;
  }
  CopyTrace trace;
  const ErrorCode rc =
      GuardedCall([&] { return source->engine->RecoverFile(record, destination, separators); });
  if (rc == kCancelCode) {
    *run_end = rc;
    return rc;
  }
  std::vector<TracedFile> files = trace.TakeFiles();
  if (record.is_folder == 0 || files.empty()) {
    outcome.result = rc;
    if (rc == err::kHandleEof) outcome.short_copy = LastShortCopy();
    if (!files.empty()) outcome.written = std::move(files.back());
    outcome.written.result = rc;
    if (rc.ok() && options_.keep_times) {
      (void)platform::SetFiletimes(outcome.written.destination, record.accessed, record.modified);
    }
    outcomes_.push_back(std::move(outcome));
    return rc;
  }
  // A folder: one outcome per file written below it, named by its place in
  // the copied tree.
  for (TracedFile& file : files) {
    RecoveryOutcome below = outcome;
    below.original_path += "/" + file.destination.lexically_relative(destination).string();
    below.result = file.result;
    below.written = std::move(file);
    outcomes_.push_back(std::move(below));
  }
  return rc;
}

void RecoveryRun::DateFolders() {
  // Deepest first: a folder's time is set once nothing more is made in it.
  for (auto it = made_folders_.rbegin(); it != made_folders_.rend(); ++it) {
    const auto& [source_id, medium_path] = it->second;
    const RecoverySource* source = SourceFor(source_id);
    if (source == nullptr) continue;
    const std::optional<FoundFileRecord> folder = FindFolder(*source->engine, medium_path);
    if (folder) (void)platform::SetFiletimes(it->first, folder->accessed, folder->modified);
  }
  made_folders_.clear();
}

ErrorCode RecoveryRun::Run(std::span<const FoundFileRecord> records) {
  files_to_write_ = records.size();
  finished_ = 0;
  failed_ = 0;
  outcomes_.clear();
  started_ = FiletimeNow();
  const uint32_t separators = SeparatorCount(root_.string());
  ErrorCode result = err::kSuccess;
  for (const FoundFileRecord& record : records) {
    const ErrorCode rc = RecoverOne(SourceFor(record.source_id), record, separators, &result);
    if (!result.ok()) break;
    ++finished_;
    if (!rc.ok()) ++failed_;
  }
  DateFolders();
  ended_ = FiletimeNow();
  return result;
}

}  // namespace vexlo
