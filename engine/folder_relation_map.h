// The folder index of a result store: which records lie in which folder.
//
// FolderRelationMap maps a parent FolderKey to the record numbers of its
// files and folders in the order they were added; the smallest key is the
// root's list. On disk (the store's "_Relation" companion) it is one line of
// text without a line break, each entry in ascending key order written as
//   " | " key " - [" n1 "," n2 ... "]"
// with the key as an unsigned 64-bit decimal and the record numbers as signed
// 32-bit decimals, e.g. " | 0 - [1,2,5] | 4294967298 - [3,4]".
//
// The text is read back from a file that a crash or a user may have damaged,
// so the parser accepts any bytes: it keeps every entry and number it can
// read, drops what it cannot or what names no record of the store, and
// reports how much it dropped. It never reads outside the text and always
// makes progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo {

using FolderRelationMap = std::map<FolderKey, std::vector<RecordNumber>>;

// Appends one entry, " | key - [n1,n2,...]", to `out`.
void AppendRelationEntry(FolderKey key, std::span<const RecordNumber> records, std::string* out);

// The whole text of a map.
std::string FormatFolderRelationMap(const FolderRelationMap& map);

struct RelationParseResult {
  std::size_t numbers_kept = 0;
  // Entries, keys and numbers that were unreadable, cut off, or named no
  // record in 1..record_count.
  std::size_t problems = 0;
};

// Adds the entries of `text` to `map`. Record numbers outside
// 1..record_count are dropped; a number cut off by the end of the text or by
// the next entry is dropped rather than guessed.
RelationParseResult ParseFolderRelationMap(std::string_view text, uint32_t record_count,
                                           FolderRelationMap* map);

}  // namespace vexlo
