#include "cli/record_selection.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>

namespace vexlo::cli {
namespace {

std::string CheckSize(const std::string& text) {
  uint64_t bytes = 0;
  return ParseSizeText(text, &bytes) ? std::string()
                                     : "'" + text + "' is not a size (4096, 10k, 4M, 1G)";
}

std::string CheckTime(const std::string& text) {
  uint64_t filetime = 0;
  return ParseTimeBound(text, TimeBoundKind::kLower, &filetime)
             ? std::string()
             : "'" + text + "' is not a date (2024-05-01) or time (2024-05-01T10:30[:00])";
}

std::optional<uint64_t> SizeOf(const std::string& text) {
  uint64_t bytes = 0;
  if (text.empty() || !ParseSizeText(text, &bytes)) return std::nullopt;
  return bytes;
}

std::optional<uint64_t> TimeOf(const std::string& text, TimeBoundKind kind) {
  uint64_t filetime = 0;
  if (text.empty() || !ParseTimeBound(text, kind, &filetime)) return std::nullopt;
  return filetime;
}

}  // namespace

void AddSelectionOptions(CLI::App& command, SelectionWords* words) {
  command
      .add_option("--name", words->names,
                  "only files whose name matches GLOB (* ? [...], any case); one with / is "
                  "matched against the folder path and name, as in 'DCIM/*.jpg'. Repeat it to "
                  "keep files matching any of them")
      ->type_name("GLOB")
      // One pattern per --name, so that SOURCE after it is never taken for one.
      ->allow_extra_args(false)
      ->check([](const std::string& glob) { return glob.empty() ? "needs a pattern" : ""; });
  command
      .add_option("--min-size", words->min_size,
                  "only files of at least SIZE bytes; k, M, G and T are multiples of 1024")
      ->type_name("SIZE")
      ->check(CheckSize);
  command.add_option("--max-size", words->max_size, "only files of at most SIZE bytes")
      ->type_name("SIZE")
      ->check(CheckSize);
  command
      .add_option("--after", words->after,
                  "only files modified at or after TIME (2024-05-01 or 2024-05-01T10:30[:00], "
                  "as the medium keeps it, as scan prints it); files without a time are left out")
      ->type_name("TIME")
      ->check(CheckTime);
  command
      .add_option("--before", words->before,
                  "only files modified at or before TIME; a date keeps that whole day")
      ->type_name("TIME")
      ->check(CheckTime);
  AddFlag(command, "--deleted-only", &words->deleted_only, "only deleted files");
  AddFlag(command, "--intact-only", &words->intact_only,
          "only files whose contents start as their type should");
}

bool ReadRecordFilter(const SelectionWords& words, RecordFilter* filter, std::string* error) {
  filter->name_patterns = words.names;
  filter->min_size = SizeOf(words.min_size);
  filter->max_size = SizeOf(words.max_size);
  filter->modified_after = TimeOf(words.after, TimeBoundKind::kLower);
  filter->modified_before = TimeOf(words.before, TimeBoundKind::kUpper);
  filter->deleted_only = words.deleted_only;
  filter->intact_only = words.intact_only;
  if (filter->min_size && filter->max_size && *filter->min_size > *filter->max_size) {
    *error = "--min-size " + words.min_size + " is above --max-size " + words.max_size;
    return false;
  }
  if (filter->modified_after && filter->modified_before &&
      *filter->modified_after > *filter->modified_before) {
    *error = "--after " + words.after + " is later than --before " + words.before;
    return false;
  }
  return true;
}

void KeepMatchingFiles(ScanSession& session, const RecordFilter& filter) {
  if (filter.Empty()) return;
  const bool needs_path = filter.NeedsFolderPath();
  std::erase_if(session.files(), [&](const FoundFileRecord& file) {
    return !filter.Matches(file, needs_path ? session.FolderPathOf(file) : std::string());
  });
}

}  // namespace vexlo::cli
