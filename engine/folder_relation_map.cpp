#include "engine/folder_relation_map.h"

#include <algorithm>
#include <charconv>

namespace vexlo {
namespace {

constexpr std::string_view kEntryStart = " | ";
constexpr std::string_view kListStart = " - [";
// The key is read up to this mark, so that "5- [" reads as well as "5 - [".
constexpr std::string_view kListMark = "- [";

template <typename Number>
void AppendNumber(Number value, std::string* out) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof(digits), value);
  out->append(digits, result.ptr);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The whole of `text` (blanks around it aside) as one decimal number.
template <typename Number>
bool ParseWhole(std::string_view text, Number* value) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Offset of `needle` in text[from, to), or `to` when it is not there.
std::size_t FindWithin(std::string_view text, std::string_view needle, std::size_t from,
                       std::size_t to) {
  const std::size_t at = text.substr(from, to - from).find(needle);
  return at == std::string_view::npos ? to : from + at;
}

// Adds the record numbers of one list text ("1,2,5") under `key`. A list cut
// off before its "]" loses its last number, which may have lost digits.
void ParseList(std::string_view items, bool terminated, FolderKey key, uint32_t record_count,
               FolderRelationMap* map, RelationParseResult* result) {
  if (terminated && TrimBlanks(items).empty()) return;
  std::vector<RecordNumber>* list = nullptr;
  std::size_t begin = 0;
  while (true) {
    const std::size_t comma = std::min(items.find(',', begin), items.size());
    const bool last = comma == items.size();
    int32_t value = 0;
    if (last && !terminated) {
      ++result->problems;
    } else if (!ParseWhole(items.substr(begin, comma - begin), &value)) {
      ++result->problems;
    } else {
      // Written signed; record numbers are unsigned.
      const auto record = static_cast<RecordNumber>(value);
      if (record == 0 || record > record_count) {
        ++result->problems;
      } else {
        if (list == nullptr) list = &(*map)[key];
        list->push_back(record);
        ++result->numbers_kept;
      }
    }
    if (last) break;
    begin = comma + 1;
  }
}

}  // namespace

void AppendRelationEntry(FolderKey key, std::span<const RecordNumber> records, std::string* out) {
  out->append(kEntryStart);
  AppendNumber(key, out);
  out->append(kListStart);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i > 0) out->push_back(',');
    AppendNumber(static_cast<int32_t>(records[i]), out);
  }
  out->push_back(']');
}

std::string FormatFolderRelationMap(const FolderRelationMap& map) {
  std::string text;
  for (const auto& [key, records] : map) AppendRelationEntry(key, records, &text);
  return text;
}

RelationParseResult ParseFolderRelationMap(std::string_view text, uint32_t record_count,
                                           FolderRelationMap* map) {
  RelationParseResult result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = std::min(text.find(kEntryStart, pos), text.size());
    if (!TrimBlanks(text.substr(pos, start - pos)).empty()) ++result.problems;
    if (start == text.size()) break;

    // Every search stays before the next entry, so that one damaged entry
    // costs only itself and the parse stays linear in the text's length.
    const std::size_t key_begin = start + kEntryStart.size();
    const std::size_t next_entry = std::min(text.find(kEntryStart, key_begin), text.size());
    const std::size_t mark = FindWithin(text, kListMark, key_begin, next_entry);
    if (mark == next_entry) {
      ++result.problems;
      pos = next_entry;
      continue;
    }
    const std::size_t items_begin = mark + kListMark.size();
    const std::size_t close = FindWithin(text, "]", items_begin, next_entry);
    const bool terminated = close < next_entry;
    if (!terminated) ++result.problems;

    FolderKey key = 0;
    if (ParseWhole(text.substr(key_begin, mark - key_begin), &key)) {
      ParseList(text.substr(items_begin, close - items_begin), terminated, key, record_count, map,
                &result);
    } else {
      ++result.problems;
    }
    pos = terminated ? close + 1 : next_entry;
  }
  return result;
}

}  // namespace vexlo
