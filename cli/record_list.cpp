#include "cli/record_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

namespace vexlo::cli {
namespace {

// Source, fs_kind and record number; kAnyKind for a line without fs_kind.
using RecordKey = std::tuple<uint16_t, uint32_t, RecordNumber>;
constexpr uint32_t kAnyKind = UINT32_MAX;

// The fields are copied out first: a reference to a packed one is misaligned.
RecordKey KeyOf(const FoundFileRecord& file, uint32_t fs_kind) {
  const uint16_t source_id = file.source_id;
  const RecordNumber record_number = file.record_number;
  return {source_id, fs_kind, record_number};
}

// Where the JSON value that starts at text[begin] ends: one past its closing
// brace, found by counting braces outside strings. npos when it never closes.
std::size_t ObjectEnd(std::string_view text, std::size_t begin) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = begin; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth == 0) return i + 1;
    }
  }
  return std::string_view::npos;
}

bool ReadListedRecord(const nlohmann::json& object, ListedRecord* record) {
  const auto source = object.find("source_id");
  const auto number = object.find("record_number");
  if (source == object.end() || number == object.end() || !source->is_number_unsigned() ||
      !number->is_number_unsigned() || source->get<uint64_t>() > UINT16_MAX ||
      number->get<uint64_t>() == 0 || number->get<uint64_t>() > UINT32_MAX) {
    return false;
  }
  record->source_id = static_cast<uint16_t>(source->get<uint64_t>());
  record->record_number = static_cast<RecordNumber>(number->get<uint64_t>());
  const auto kind = object.find("fs_kind");
  if (kind != object.end()) {
    if (!kind->is_number_unsigned() || kind->get<uint64_t>() >= kAnyKind) return false;
    record->fs_kind = static_cast<uint32_t>(kind->get<uint64_t>());
  }
  const auto name = object.find("name");
  if (name != object.end() && name->is_string()) record->name = name->get<std::string>();
  return true;
}

std::string LineText(const ListedRecord& record) {
  std::string text = "line " + std::to_string(record.line);
  if (!record.name.empty()) text += " (" + record.name + ")";
  return text;
}

}  // namespace

bool ParseRecordList(std::string_view text, std::vector<ListedRecord>* records,
                     std::string* error) {
  std::size_t line = 1;
  std::size_t pos = 0;
  for (;;) {
    while (pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n')) {
      if (text[pos] == '\n') ++line;
      ++pos;
    }
    if (pos == text.size()) return true;
    const std::string where = "line " + std::to_string(line);
    const std::size_t end = text[pos] == '{' ? ObjectEnd(text, pos) : std::string_view::npos;
    if (end == std::string_view::npos) {
      *error = where + ": not a JSON object of `scan --json`";
      return false;
    }
    const std::string_view value = text.substr(pos, end - pos);
    const nlohmann::json object = nlohmann::json::parse(value, nullptr, false);
    ListedRecord record;
    record.line = line;
    if (object.is_discarded()) {
      *error = where + ": not a JSON object of `scan --json`";
      return false;
    }
    if (!object.contains("summary")) {
      if (!ReadListedRecord(object, &record)) {
        *error = where + ": the object has no source_id and record_number of a found file";
        return false;
      }
      records->push_back(std::move(record));
    }
    for (const char c : value) line += c == '\n' ? 1 : 0;
    pos = end;
  }
}

bool ReadRecordList(const std::string& path, std::vector<ListedRecord>* records,
                    std::string* error) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      *error = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = std::move(content).str();
  }
  const std::string name = path == "-" ? "standard input" : path;
  if (!ParseRecordList(text, records, error)) {
    *error = name + ", " + *error;
    return false;
  }
  return true;
}

bool KeepListedFiles(const std::vector<ListedRecord>& listed, std::vector<FoundFileRecord>* files,
                     std::string* error) {
  std::set<RecordKey> found;
  for (const FoundFileRecord& file : *files) {
    found.insert(KeyOf(file, file.fs_kind));
    found.insert(KeyOf(file, kAnyKind));
  }
  std::set<RecordKey> wanted;
  error->clear();
  for (const ListedRecord& record : listed) {
    const RecordKey key{record.source_id, record.fs_kind.value_or(kAnyKind), record.record_number};
    if (found.contains(key)) {
      wanted.insert(key);
      continue;
    }
    if (!error->empty()) *error += "\n";
    *error += LineText(record) + ": no such file in this scan (source " +
              std::to_string(record.source_id) + ", record " +
              std::to_string(record.record_number) + ")";
  }
  if (!error->empty()) return false;
  std::erase_if(*files, [&wanted](const FoundFileRecord& file) {
    return !wanted.contains(KeyOf(file, file.fs_kind)) && !wanted.contains(KeyOf(file, kAnyKind));
  });
  return true;
}

}  // namespace vexlo::cli
