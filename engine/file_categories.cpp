#include "engine/file_categories.h"

#include <array>
#include <string>

#include "engine/found_file_record.h"
#include "platform/text.h"

namespace vexlo {
namespace {

// Extensions are looked at through the same 260-byte window as record names.
constexpr std::size_t kExtensionMaxBytes = kRecordNameMaxText;

struct CategoryEntry {
  FileCategory category;
  std::string_view list;
  std::string_view folder;
};

// In the order in which a name is tested; the first list containing it wins.
// A category without an entry (kOther) has no list and the folder "others".
constexpr std::array<CategoryEntry, 5> kCategories = {{
    {FileCategory::kPhoto, kPhotoList, "photo"},
    {FileCategory::kAudio, kAudioList, "audio"},
    {FileCategory::kVideo, kVideoList, "video"},
    {FileCategory::kDocument, kDocumentList, "document"},
    {FileCategory::kArchive, kArchiveList, "archive"},
}};

const CategoryEntry* EntryOf(FileCategory category) {
  for (const CategoryEntry& entry : kCategories) {
    if (entry.category == category) return &entry;
  }
  return nullptr;
}

}  // namespace

std::string_view KnownExtensionText() {
  static const std::string text = [] {
    std::string joined;
    for (std::string_view list :
         {kPhotoList, kAudioList, kDocumentList, kVideoList, kArchiveList}) {
      if (!joined.empty()) joined += '|';
      joined += list;
    }
    return joined;
  }();
  return text;
}

bool IsInList(std::string_view list, std::string_view extension) {
  return list.find(platform::ToLowerAscii(extension)) != std::string_view::npos;
}

std::string_view CategoryList(FileCategory category) {
  const CategoryEntry* entry = EntryOf(category);
  return entry != nullptr ? entry->list : std::string_view();
}

FileCategory CategoryOf(std::string_view file_name) {
  const std::string extension =
      platform::ToLowerAscii(platform::TruncateUtf8(ExtensionOf(file_name), kExtensionMaxBytes));
  for (const CategoryEntry& entry : kCategories) {
    if (entry.list.find(extension) != std::string_view::npos) return entry.category;
  }
  return FileCategory::kOther;
}

std::string_view CategoryFolderName(FileCategory category) {
  const CategoryEntry* entry = EntryOf(category);
  return entry != nullptr ? entry->folder : "others";
}

std::string_view CategoryFolderName(std::string_view file_name) {
  return CategoryFolderName(CategoryOf(file_name));
}

}  // namespace vexlo
