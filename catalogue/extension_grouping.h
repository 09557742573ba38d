// Grouping of found files by extension for the type tree and the file list.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo::catalogue {

// Key given to a file whose name has no extension.
inline constexpr std::string_view kNoExtensionKey = "unknow";

// The grouping key of a found file: the lower-cased text after the last "."
// of its name, folded onto the name the type options use ("jpeg" -> "jpg",
// "docx" -> "doc" ...); "unknow" when there is none.
std::string ExtensionKey(const FoundFileRecord& record);

// The same rule on a bare name.
std::string ExtensionKeyOfName(std::string_view name);

// Records by key, each list in the order of `records`. The pointers point
// into `records`; the map must be rebuilt whenever that vector changes.
using RecordsByExtension = std::map<std::string, std::vector<const FoundFileRecord*>, std::less<>>;

RecordsByExtension GroupByExtension(const std::vector<FoundFileRecord>& records);

}  // namespace vexlo::catalogue
