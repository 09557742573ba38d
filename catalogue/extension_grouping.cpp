#include "catalogue/extension_grouping.h"

#include <array>
#include <utility>

#include "platform/text.h"

namespace vexlo::catalogue {
namespace {

// Spellings that the type options list second fold onto the first one, so
// that "photo.JPEG" and "photo.jpg" land in one node.
constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kAliases = {{
    {"jpeg", "jpg"},
    {"tiff", "tif"},
    {"scr", "pcx"},
    {"midi", "mid"},
    {"m4p", "m4a"},
    {"docx", "doc"},
    {"xlsx", "xls"},
    {"pptx", "ppt"},
    {"htm", "html"},
}};

}  // namespace

std::string ExtensionKeyOfName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == name.size()) {
    return std::string(kNoExtensionKey);
  }
  std::string key = platform::ToLowerAscii(name.substr(dot + 1));
  for (const auto& [alias, canonical] : kAliases) {
    if (key == alias) return std::string(canonical);
  }
  return key;
}

std::string ExtensionKey(const FoundFileRecord& record) {
  return ExtensionKeyOfName(record.Name());
}

RecordsByExtension GroupByExtension(const std::vector<FoundFileRecord>& records) {
  RecordsByExtension groups;
  for (const FoundFileRecord& record : records) {
    const std::string key = ExtensionKey(record);
    auto it = groups.find(key);
    if (it == groups.end()) it = groups.emplace(key, std::vector<const FoundFileRecord*>{}).first;
    it->second.push_back(&record);
  }
  return groups;
}

}  // namespace vexlo::catalogue
