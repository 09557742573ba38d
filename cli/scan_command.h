// `vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST]
// [--json] [--fresh] [selection options]`: scans a source and lists the files
// found, grouped by category and extension, or as one JSON object per line
// with --json. The selection options (cli/record_selection.h) narrow the
// list, its count included, to the files `recover` would write with them.
#pragma once

#include <functional>

#include "cli/command_line.h"
#include "engine/scan_history.h"

namespace vexlo::cli {

// Declares the command on `parent`; its scans continue and keep their
// results in the scan history `history` gives when the command runs.
Command AddScanCommand(CLI::App& parent, std::function<ScanHistory&()> history);

}  // namespace vexlo::cli
