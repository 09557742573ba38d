#include "engine/folder_info_list.h"

#include <cstring>

#include "platform/text.h"

namespace vexlo {

FolderInfoEntry FolderInfoEntry::Make(uint32_t key, RecordNumber record_number,
                                      std::string_view name) {
  FolderInfoEntry entry;
  std::memset(&entry, 0, sizeof(entry));
  entry.key = key;
  entry.record_number = record_number;
  const std::string_view text = name.substr(0, name.find('\0'));
  const std::string_view cut = platform::TruncateUtf8(text, kRecordNameMaxText);
  std::memcpy(entry.name, cut.data(), cut.size());
  return entry;
}

std::string_view FolderInfoEntry::Name() const {
  return std::string_view(name, strnlen(name, sizeof(name)));
}

FolderInfoParseResult ParseFolderInfoList(std::span<const uint8_t> bytes, uint32_t record_count,
                                          std::vector<FolderInfoEntry>* list) {
  FolderInfoParseResult result;
  const std::size_t whole = bytes.size() / kFolderInfoEntryBytes;
  if (bytes.size() % kFolderInfoEntryBytes != 0) ++result.problems;
  for (std::size_t i = 0; i < whole; ++i) {
    FolderInfoEntry entry;
    std::memcpy(&entry, bytes.data() + i * kFolderInfoEntryBytes, kFolderInfoEntryBytes);
    entry.name[kRecordNameMaxText] = '\0';
    if (entry.record_number == 0 || entry.record_number > record_count) {
      ++result.problems;
      continue;
    }
    list->push_back(entry);
    ++result.entries_kept;
  }
  return result;
}

}  // namespace vexlo
