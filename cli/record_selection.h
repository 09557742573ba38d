// The options that choose which found files `scan` lists and `recover`
// writes: --name, --min-size, --max-size, --after, --before, --deleted-only
// and --intact-only, read into the engine's RecordFilter so that the command
// line chooses as the results page does.
#pragma once

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/scan_session.h"
#include "engine/record_filter.h"

namespace vexlo::cli {

// The selection options as typed.
struct SelectionWords {
  std::vector<std::string> names;
  std::string min_size;
  std::string max_size;
  std::string after;
  std::string before;
  bool deleted_only = false;
  bool intact_only = false;
};

// Declares the options on `command`, which writes them into *words while
// parsing; a size or a time it cannot read is a usage error there.
void AddSelectionOptions(CLI::App& command, SelectionWords* words);

// The filter of words the parser accepted. False with *error when the
// bounds leave nothing to choose (--min-size above --max-size, --after
// later than --before).
bool ReadRecordFilter(const SelectionWords& words, RecordFilter* filter, std::string* error);

// Drops the session's files the filter does not keep.
void KeepMatchingFiles(ScanSession& session, const RecordFilter& filter);

}  // namespace vexlo::cli
