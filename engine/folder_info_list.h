// The folder-info list of a result store: the name and record number of every
// folder record, so that the path of a record can be built without reading
// the record file.
//
// On disk (the store's "_DirInfo" companion) the entries lie back to back,
// 268 bytes each: key (u32 little-endian), record number (u32), name
// (260 bytes UTF-8, NUL-terminated). The in-memory entry has the same image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo {

struct FolderInfoEntry {
  uint32_t key;                 // low half of the folder's FolderKey
  RecordNumber record_number;   // the folder's own record
  char name[kRecordNameBytes];  // always NUL-terminated

  // Builds an entry; the name is cut to 259 bytes at a character boundary.
  static FolderInfoEntry Make(uint32_t key, RecordNumber record_number, std::string_view name);
  std::string_view Name() const;
};

inline constexpr std::size_t kFolderInfoEntryBytes = 268;
static_assert(sizeof(FolderInfoEntry) == kFolderInfoEntryBytes);
static_assert(offsetof(FolderInfoEntry, record_number) == 4);
static_assert(offsetof(FolderInfoEntry, name) == 8);

struct FolderInfoParseResult {
  std::size_t entries_kept = 0;
  // Entries naming no record in 1..record_count, plus a cut-off last entry.
  std::size_t problems = 0;
};

// Appends the entries held in `bytes` to `list`, dropping those whose record
// number lies outside 1..record_count and a trailing partial entry.
FolderInfoParseResult ParseFolderInfoList(std::span<const uint8_t> bytes, uint32_t record_count,
                                          std::vector<FolderInfoEntry>* list);

}  // namespace vexlo
