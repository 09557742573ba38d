// The icon of a row of the file list.
#pragma once

#include <string>
#include <string_view>

namespace vexlo::catalogue {

// Marker extension that callers pass for folder rows.
inline constexpr std::string_view kFolderMarker = "folder";

// "FileIcon/<name>.png" chosen from the extension by the category lists
// (photo before audio, document, video and archive; the lists are searched as
// plain text, so "ra" is a picture because "*.raf" contains it). `intact`
// false (the content check failed) selects the "_error" variant; folders have
// none.
std::string IconFor(std::string_view extension, bool intact);

}  // namespace vexlo::catalogue
