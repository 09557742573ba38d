#include "engine/file_categories.h"

#include <array>
#include <string>

#include "engine/found_file_record.h"
#include "platform/text.h"

namespace vexlo {
namespace {

// Extensions are looked at through the same 260-byte window as record names.
constexpr std::size_t kExtensionMaxBytes = kRecordNameMaxText;

// The order in which a name is tested; the first list containing it wins.
constexpr std::array<FileCategory, 5> kTestOrder = {FileCategory::kPhoto, FileCategory::kAudio,
                                                    FileCategory::kVideo, FileCategory::kDocument,
                                                    FileCategory::kArchive};

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
  switch (category) {
    case FileCategory::kPhoto:
      return kPhotoList;
    case FileCategory::kAudio:
      return kAudioList;
    case FileCategory::kVideo:
      return kVideoList;
    case FileCategory::kDocument:
      return kDocumentList;
    case FileCategory::kArchive:
      return kArchiveList;
    case FileCategory::kOther:
      break;
  }
  return {};
}

FileCategory CategoryOf(std::string_view file_name) {
  const std::string extension =
      platform::ToLowerAscii(platform::TruncateUtf8(ExtensionOf(file_name), kExtensionMaxBytes));
  for (FileCategory category : kTestOrder) {
    if (CategoryList(category).find(extension) != std::string_view::npos) return category;
  }
  return FileCategory::kOther;
}

std::string_view CategoryFolderName(FileCategory category) {
  switch (category) {
    case FileCategory::kPhoto:
      return "photo";
    case FileCategory::kAudio:
      return "audio";
    case FileCategory::kVideo:
      return "video";
    case FileCategory::kDocument:
      return "document";
    case FileCategory::kArchive:
      return "archive";
    case FileCategory::kOther:
      break;
  }
  return "others";
}

std::string_view CategoryFolderName(std::string_view file_name) {
  return CategoryFolderName(CategoryOf(file_name));
}

}  // namespace vexlo
