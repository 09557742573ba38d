#include "engine/recovered_file_path.h"

#include <algorithm>
#include <functional>
#include <system_error>

#include "engine/file_categories.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vexlo {
namespace {

// base + suffix + extension within the limit of one name; the base gives way
// first, and the suffix always survives, since it is what makes the name new.
std::string NumberedName(std::string_view base, std::string_view suffix,
                         std::string_view extension) {
  constexpr std::size_t kLimit = platform::kMaxFileNameBytes;
  if (suffix.size() + extension.size() < kLimit) {
    return std::string(platform::TruncateUtf8(base, kLimit - suffix.size() - extension.size())) +
           std::string(suffix) + std::string(extension);
  }
  return std::string(platform::TruncateUtf8(std::string(base) + std::string(extension),
                                            kLimit - suffix.size())) +
         std::string(suffix);
}

bool ExistsOnDisk(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// `path` when `taken(path)` is false, else the first free base(n).ext.
template <typename Taken>
std::filesystem::path FirstFree(const std::filesystem::path& path, Taken taken) {
  if (!taken(path)) return path;
  const std::string file_name = path.filename().string();
  const std::size_t dot = file_name.rfind('.');
  const std::string base = dot == std::string::npos ? file_name : file_name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : file_name.substr(dot);
  for (uint64_t n = 1;; ++n) {
    std::filesystem::path candidate =
        path.parent_path() / NumberedName(base, "(" + std::to_string(n) + ")", extension);
    if (!taken(candidate)) return candidate;
  }
}

uint64_t NameKey(const std::filesystem::path& path) {
  return std::hash<std::string_view>{}(path.native());
}

}  // namespace

std::string SanitizeNameComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return "_";
  std::string safe(name);
  std::replace_if(
      safe.begin(), safe.end(), [](char c) { return c == '/' || c == '\0'; }, '_');
  return platform::ShortenKeepingExtension(safe, platform::kMaxFileNameBytes);
}

std::filesystem::path DestinationPath(const std::filesystem::path& root,
                                      std::string_view record_name) {
  return root / std::string(CategoryFolderName(record_name)) / SanitizeNameComponent(record_name);
}

std::filesystem::path KeptFolderPath(const std::filesystem::path& root, std::string_view source,
                                     std::string_view folder_path, std::string_view record_name,
                                     bool carved) {
  // A source named by its path ("/dev/sdb1", "/cards/card.img:2") is known
  // by its last part.
  std::filesystem::path path = root / SanitizeNameComponent(source.substr(source.rfind('/') + 1));
  if (carved) return DestinationPath(path, record_name);
  while (!folder_path.empty()) {
    const std::size_t slash = folder_path.find('/');
    const std::string_view folder = folder_path.substr(0, slash);
    // "//" in a path made of damaged names is no folder of its own.
    if (!folder.empty()) path /= SanitizeNameComponent(folder);
    if (slash == std::string_view::npos) break;
    folder_path.remove_prefix(slash + 1);
  }
  return path / SanitizeNameComponent(record_name);
}

std::filesystem::path UniquePath(const std::filesystem::path& path) {
  return FirstFree(path, ExistsOnDisk);
}

std::filesystem::path UniqueNames::Claim(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.parent_path();
  if (listed_folders_.insert(folder.string()).second) {
    std::error_code ec;
    // A folder not there yet holds nothing; one that cannot be listed is
    // left to the check of the chosen name below.
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      taken_.insert(NameKey(it->path()));
    }
  }
  for (;;) {
    std::filesystem::path chosen = FirstFree(
        path, [&](const std::filesystem::path& p) { return taken_.contains(NameKey(p)); });
    taken_.insert(NameKey(chosen));
    if (!ExistsOnDisk(chosen)) return chosen;
  }
}

uint32_t SeparatorCount(std::string_view root) {
  if (root.empty()) return 0;
  return static_cast<uint32_t>(std::count(root.begin(), root.end() - 1, '/'));
}

}  // namespace vexlo
