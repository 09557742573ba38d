#include "catalogue/file_icon.h"

#include "engine/file_categories.h"
#include "platform/text.h"

namespace vexlo::catalogue {
namespace {

std::string_view IconStem(std::string_view extension) {
  if (extension == "exe") return "exe";
  // The order differs from the folder rule on purpose: documents are tested
  // before videos, so the icon and the folder can disagree for an extension
  // that occurs in both lists.
  if (IsInList(CategoryList(FileCategory::kPhoto), extension)) return "image";
  if (IsInList(CategoryList(FileCategory::kAudio), extension)) return "music";
  if (IsInList(CategoryList(FileCategory::kDocument), extension)) return "doc";
  if (IsInList(CategoryList(FileCategory::kVideo), extension)) return "video";
  if (IsInList(CategoryList(FileCategory::kArchive), extension)) return "zip";
  return "default";
}

}  // namespace

std::string IconFor(std::string_view extension, bool intact) {
  const std::string lower = platform::ToLowerAscii(extension);
  if (lower == kFolderMarker) return "FileIcon/folder.png";
  std::string icon = "FileIcon/";
  icon += IconStem(lower);
  if (!intact) icon += "_error";
  icon += ".png";
  return icon;
}

}  // namespace vexlo::catalogue
