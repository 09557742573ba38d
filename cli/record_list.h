// The list `recover --from` reads: the JSON objects `scan --json` printed,
// one a line (`jq -c`) or spread over lines (plain `jq`), of which only
// source_id, record_number and fs_kind matter; the summary object is passed
// over. A deep scan numbers the records of the file system and those found
// by their contents apart, so record numbers repeat within a source, and
// fs_kind tells the two apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo::cli {

struct ListedRecord {
  std::size_t line = 0;  // 1-based, where the object starts
  uint16_t source_id = 0;
  RecordNumber record_number = 0;
  std::optional<uint32_t> fs_kind;  // any when a line has none
  std::string name;                 // for messages only; may be empty
};

// The records listed in `text`. False with *error naming the line of the
// first object that is not one of a scan's files.
bool ParseRecordList(std::string_view text, std::vector<ListedRecord>* records, std::string* error);

// ParseRecordList on the file `path`, or on standard input for "-".
bool ReadRecordList(const std::string& path, std::vector<ListedRecord>* records,
                    std::string* error);

// Keeps in *files only the listed ones, in their order. Every listed record
// must be among them: false with *error naming each one that is not (line
// and name), and *files left as it was.
bool KeepListedFiles(const std::vector<ListedRecord>& listed, std::vector<FoundFileRecord>* files,
                     std::string* error);

}  // namespace vexlo::cli
