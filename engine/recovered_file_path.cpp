#include "engine/recovered_file_path.h"

#include <algorithm>
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

std::filesystem::path UniquePath(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return path;
  const std::string file_name = path.filename().string();
  const std::size_t dot = file_name.rfind('.');
  const std::string base = dot == std::string::npos ? file_name : file_name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : file_name.substr(dot);
  for (uint64_t n = 1;; ++n) {
    std::filesystem::path candidate =
        path.parent_path() / NumberedName(base, "(" + std::to_string(n) + ")", extension);
    if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ec))) return candidate;
  }
}

uint32_t SeparatorCount(std::string_view root) {
  if (root.empty()) return 0;
  return static_cast<uint32_t>(std::count(root.begin(), root.end() - 1, '/'));
}

}  // namespace vexlo
