#include "engine/scan_history.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "ondisk/endian.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;

// Whether `entry` was saved for `source`: the same stretch of the same disk,
// or of the same image file.
bool IsEntryOf(const HistoryEntry& entry, const ScanSource& source) {
  return entry.disk_number == source.disk_number &&
         entry.image_path == source.image_path.string() &&
         entry.start_sector == source.start_sector && entry.sector_count == source.sector_count;
}

constexpr const char* kConfigName = "config";
constexpr const char* kConfigLockName = "config.lock";
constexpr std::size_t kCounterBytes = 8;

// No real history comes near this many sources; the bound keeps a huge or
// crafted "config" from taking the memory with it.
constexpr uint64_t kMaxEntries = 10'000;

std::string_view StripTrailingSlashes(std::string_view text) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  return text;
}

std::string WithTrailingSlash(std::string text) {
  if (text.empty() || text.back() != '/') text.push_back('/');
  return text;
}

bool SameFolder(std::string_view a, std::string_view b) {
  return platform::ToLowerAscii(StripTrailingSlashes(a)) ==
         platform::ToLowerAscii(StripTrailingSlashes(b));
}

// Whether `path` has every component of `base` and at least one more, with
// no "." or ".." anywhere that could lead back out. Both must be absolute.
bool IsStrictlyBelow(const fs::path& path, const fs::path& base) {
  if (!path.is_absolute() || !base.is_absolute()) return false;
  for (const fs::path& part : path) {
    if (part == "." || part == "..") return false;
  }
  auto it = path.begin();
  for (const fs::path& part : base) {
    if (part.empty()) continue;  // a trailing separator of `base`
    if (it == path.end() || *it != part) return false;
    ++it;
  }
  return std::any_of(it, path.end(), [](const fs::path& part) { return !part.empty(); });
}

std::array<uint8_t, kCounterBytes> StoreCounter(uint64_t value) {
  std::array<uint8_t, kCounterBytes> bytes{};
  StoreLe64(bytes, 0, value);
  return bytes;
}

}  // namespace

std::string ScanLogFileName(std::string_view prefix, uint64_t start_sector,
                            const std::tm& local_time) {
  char text[96];
  std::snprintf(text, sizeof(text), "%lld_%d%d%d%d%2d", static_cast<long long>(start_sector),
                local_time.tm_year + 1900, local_time.tm_mon + 1, local_time.tm_mday,
                local_time.tm_hour, local_time.tm_min);
  return std::string(prefix) + text;
}

std::string ScanLogFileName(std::string_view prefix, uint64_t start_sector) {
  return ScanLogFileName(prefix, start_sector, platform::LocalTime(std::time(nullptr)));
}

std::string UnusedScanLogFileName(std::string_view prefix, uint64_t start_sector,
                                  const std::filesystem::path& folder) {
  const std::string base = ScanLogFileName(prefix, start_sector);
  std::string name = base;
  std::error_code ignored;
  for (int n = 2; std::filesystem::exists(folder / name, ignored); ++n) {
    name = base + "_" + std::to_string(n);
  }
  return name;
}

std::optional<std::string> FindLogFile(std::string_view prefix, const fs::path& folder) {
  std::optional<std::string> first;
  std::error_code ec;
  for (const fs::directory_entry& item : fs::directory_iterator(folder, ec)) {
    std::string name = item.path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    if (name.find(prefix) == std::string::npos) continue;
    if (name.ends_with(kRelationSuffix) || name.ends_with(kDirInfoSuffix)) continue;
    if (!first || name < *first) first = std::move(name);
  }
  return first;
}

ScanHistory::ScanHistory(fs::path root)
    : root_(std::string(StripTrailingSlashes(fs::absolute(root).lexically_normal().string()))) {
  std::error_code ec;
  fs::create_directories(root_, ec);
  if (ec)
    platform::LogProblem("cannot create the scan-log folder " + root_.string(),
                         FromErrno(ec.value()));
  (void)Load();
}

platform::ExclusiveFileLock ScanHistory::LockConfig() const {
  platform::ExclusiveFileLock lock(root_ / kConfigLockName);
  if (!lock.held()) platform::LogProblem("cannot lock the scan history", lock.error());
  return lock;
}

ErrorCode ScanHistory::Load() {
  const auto lock = LockConfig();
  return LoadLocked();
}

ErrorCode ScanHistory::LoadLocked() {
  counter_ = 0;
  entries_.clear();
  const fs::path config = root_ / kConfigName;
  const fs::path config_tmp = platform::ReplacementPath(config);
  std::error_code ec;
  if (!fs::exists(config, ec) && fs::exists(config_tmp, ec)) {
    // A save was interrupted after "config" went; its complete successor is
    // waiting under the temporary name.
    fs::rename(config_tmp, config, ec);
    if (ec)
      platform::LogProblem("cannot restore the scan history from config.tmp",
                           FromErrno(ec.value()));
  }

  platform::File file;
  uint64_t size_bytes = 0;
  if (ErrorCode rc = file.Open(config, platform::File::Mode::kReadOnly); !rc.ok()) {
    // No history yet is the normal first start; anything else is worth a word.
    if (rc != err::kFileNotFound) platform::LogProblem("cannot open the scan history", rc);
    return err::kInvalidParameter;
  }
  if (!file.Size(&size_bytes).ok() || size_bytes == 0) return err::kInvalidParameter;

  std::array<uint8_t, kHistoryEntryBytes> buffer{};
  std::size_t got = 0;
  ErrorCode rc = file.ReadAt(0, std::span(buffer).first<kCounterBytes>(), &got);
  if (!rc.ok() || got != kCounterBytes) {
    platform::LogProblem("scan history is too short; starting an empty one", err::kReadFault);
    return err::kReadFault;
  }
  counter_ = LoadLe64(buffer, 0);

  uint64_t entry_count = (size_bytes - kCounterBytes) / kHistoryEntryBytes;
  if ((size_bytes - kCounterBytes) % kHistoryEntryBytes != 0) {
    platform::LogProblem("scan history ends in a partial entry; it is ignored",
                         err::kInvalidParameter);
  }
  if (entry_count > kMaxEntries) {
    platform::LogProblem("scan history has too many entries; the rest are ignored",
                         err::kInvalidParameter);
    entry_count = kMaxEntries;
  }
  uint64_t unreadable = 0;
  uint64_t outside_root = 0;
  for (uint64_t index = 0; index < entry_count; ++index) {
    rc = file.ReadAt(kCounterBytes + index * kHistoryEntryBytes, buffer, &got);
    if (!rc.ok() || got != kHistoryEntryBytes) {
      if (rc.ok()) rc = err::kReadFault;
      platform::LogProblem("scan history cannot be read to its end", rc);
      return rc;
    }
    HistoryEntry entry;
    if (!DecodeHistoryEntry(buffer, &entry).ok()) {
      ++unreadable;
    } else if (!LiesInsideRoot(entry.folder)) {
      // Such an entry would later have its folder written into or deleted.
      ++outside_root;
    } else {
      entries_.push_back(std::move(entry));
    }
  }
  if (unreadable > 0) {
    platform::LogProblem(
        std::to_string(unreadable) + " scan history entries with an unterminated path skipped",
        err::kInvalidParameter);
  }
  if (outside_root > 0) {
    platform::LogProblem(
        std::to_string(outside_root) +
            " scan history entries naming a folder outside the scan-log root skipped",
        err::kInvalidParameter);
  }
  return err::kSuccess;
}

ErrorCode ScanHistory::Save() {
  const auto lock = LockConfig();
  return SaveLocked();
}

ErrorCode ScanHistory::SaveLocked() {
  std::error_code ec;
  fs::create_directories(root_, ec);
  std::vector<uint8_t> bytes(kCounterBytes + entries_.size() * kHistoryEntryBytes);
  const auto counter = StoreCounter(counter_);
  std::copy(counter.begin(), counter.end(), bytes.begin());
  std::span<uint8_t> rest = std::span<uint8_t>(bytes).subspan(kCounterBytes);
  for (const HistoryEntry& entry : entries_) {
    // Every entry in memory was decoded from a stored one or checked before
    // it was added, so it encodes.
    if (ErrorCode rc = EncodeHistoryEntry(entry, rest.first<kHistoryEntryBytes>()); !rc.ok()) {
      return rc;
    }
    rest = rest.subspan(kHistoryEntryBytes);
  }
  return platform::ReplaceFile(root_ / kConfigName, bytes);
}

std::optional<HistoryEntry> ScanHistory::FindDiskEntry(
    uint32_t disk_number, uint64_t start_sector, uint64_t sector_count, uint64_t free_bytes,
    const std::optional<MediumFingerprint>& fingerprint) {
  const auto lock = LockConfig();
  (void)LoadLocked();
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const HistoryEntry& entry) {
    return IsEntryOf(entry, {disk_number, start_sector, sector_count, 0, {}, {}});
  });
  if (it == entries_.end()) return std::nullopt;
  return KeepIfUnchanged(static_cast<std::size_t>(it - entries_.begin()),
                         it->free_bytes == free_bytes, fingerprint);
}

std::optional<HistoryEntry> ScanHistory::FindImageEntry(
    const fs::path& image_path, uint64_t start_sector, uint64_t sector_count,
    const std::optional<MediumFingerprint>& fingerprint) {
  const auto lock = LockConfig();
  (void)LoadLocked();
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const HistoryEntry& entry) {
    return IsEntryOf(entry, {kImageDiskNumber, start_sector, sector_count, 0, image_path, {}});
  });
  if (it == entries_.end()) return std::nullopt;
  uint64_t write_time = 0;
  const bool unchanged = platform::LastWriteFiletime(image_path, &write_time).ok() &&
                         write_time == it->image_write_time;
  return KeepIfUnchanged(static_cast<std::size_t>(it - entries_.begin()), unchanged, fingerprint);
}

std::optional<HistoryEntry> ScanHistory::KeepIfUnchanged(
    std::size_t index, bool validator_matches,
    const std::optional<MediumFingerprint>& fingerprint) {
  const HistoryEntry& entry = entries_[index];
  if (validator_matches && fingerprint && entry.fingerprint == fingerprint) return entry;
  Invalidate(index);
  return std::nullopt;
}

void ScanHistory::BeginNewScan() {
  const auto lock = LockConfig();
  // Another run may have handed out numbers since this one last looked.
  (void)LoadLocked();
  handed_out_ = ++counter_;
  current_folder_ = FolderOf(counter_);
  DropEntriesNaming(current_folder_.string());
  SaveOrLog();
  if (DeleteFolder(current_folder_.string()).ok()) {
    std::error_code ec;
    fs::create_directories(current_folder_, ec);
    if (ec)
      platform::LogProblem("cannot create the scan folder " + current_folder_.string(),
                           FromErrno(ec.value()));
  }
}

void ScanHistory::ContinueScan(const HistoryEntry& entry) { current_folder_ = entry.folder; }

fs::path ScanHistory::CurrentFolder() {
  if (current_folder_.empty()) BeginNewScan();
  return current_folder_;
}

ErrorCode ScanHistory::RecordScan(const ScanSource& source, const ScanPosition& position,
                                  const fs::path& folder) {
  HistoryEntry fresh;
  fresh.disk_number = source.disk_number;
  fresh.start_sector = source.start_sector;
  fresh.sector_count = source.sector_count;
  fresh.position = position;
  fresh.fingerprint = source.fingerprint;
  fresh.image_path = source.image_path.string();
  fresh.folder = WithTrailingSlash(folder.string());
  // Such a path could never be matched again, or its folder never found: the
  // source is then scanned anew next time instead of being saved wrongly.
  if (ErrorCode rc = CheckHistoryPath(fresh.image_path); !rc.ok()) return rc;
  if (ErrorCode rc = CheckHistoryPath(
          fresh.folder, fresh.fingerprint ? kFingerprintedFolderUnits : kHistoryPathUnits);
      !rc.ok()) {
    return rc;
  }
  if (!LiesInsideRoot(fresh.folder)) return err::kInvalidParameter;

  const auto lock = LockConfig();
  (void)LoadLocked();
  const bool is_image = !fresh.image_path.empty();
  if (is_image) {
    (void)platform::LastWriteFiletime(source.image_path, &fresh.image_write_time);
  } else {
    fresh.free_bytes = source.free_bytes;
  }

  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const HistoryEntry& entry) { return IsEntryOf(entry, source); });
  // The folder being recorded holds the results just found and still on
  // show, so it is never deleted here, even when the source changed during
  // the scan: keeping the old validator lets the next lookup notice that.
  if (it != entries_.end() && SameFolder(it->folder, fresh.folder)) {
    it->position = position;
    return SaveLocked();
  }
  std::string superseded;
  if (it != entries_.end()) {
    superseded = it->folder;
    entries_.erase(it);
    DropEntriesNaming(superseded);
  }
  entries_.push_back(std::move(fresh));
  ErrorCode rc = SaveLocked();
  if (!superseded.empty()) (void)DeleteFolder(superseded);
  return rc;
}

void ScanHistory::GiveBackFolderNumber() {
  const auto lock = LockConfig();
  (void)LoadLocked();
  if (handed_out_ != 0 && counter_ == handed_out_) --counter_;
  handed_out_ = 0;
  // The number will be handed out again and its folder emptied then, so
  // nothing may go on writing there in the meantime.
  current_folder_.clear();
  SaveOrLog();
}

ErrorCode ScanHistory::RemoveFolder(const fs::path& folder) {
  const auto lock = LockConfig();
  (void)LoadLocked();
  const std::string text = folder.string();
  if (DropEntriesNaming(text) > 0) SaveOrLog();
  return DeleteFolder(text);
}

fs::path ScanHistory::FolderOf(uint64_t number) const {
  return root_ / std::to_string(number) / "";
}

bool ScanHistory::LiesInsideRoot(std::string_view folder) const {
  return IsStrictlyBelow(fs::path(StripTrailingSlashes(folder)), root_);
}

std::size_t ScanHistory::DropEntriesNaming(std::string_view folder) {
  return std::erase_if(entries_,
                       [&](const HistoryEntry& entry) { return SameFolder(entry.folder, folder); });
}

ErrorCode ScanHistory::DeleteFolder(std::string_view folder) {
  const fs::path target(StripTrailingSlashes(folder));
  std::error_code ec;
  if (LiesInsideRoot(folder)) {
    if (!fs::exists(fs::symlink_status(target, ec))) return err::kSuccess;
    // The text lies inside the root; so must the place it really leads to
    // once symbolic links anywhere along it are resolved.
    std::error_code root_ec;
    const fs::path real_target = fs::canonical(target, ec);
    const fs::path real_root = fs::canonical(root_, root_ec);
    if (!ec && !root_ec && IsStrictlyBelow(real_target, real_root)) {
      fs::remove_all(target, ec);
      if (!ec) return err::kSuccess;
      platform::LogProblem("cannot delete the scan folder " + target.string(),
                           FromErrno(ec.value()));
      return FromErrno(ec.value());
    }
  }
  platform::LogProblem("refused to delete " + target.string() + ": not inside the scan-log root",
                       err::kAccessDenied);
  return err::kAccessDenied;
}

void ScanHistory::Invalidate(std::size_t index) {
  const std::string folder = entries_[index].folder;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  DropEntriesNaming(folder);
  SaveOrLog();
  (void)DeleteFolder(folder);
}

void ScanHistory::SaveOrLog() {
  if (ErrorCode rc = SaveLocked(); !rc.ok())
    platform::LogProblem("cannot save the scan history", rc);
}

}  // namespace vexlo
