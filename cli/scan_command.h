// `vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST]
// [--json] [--fresh]`: scans a source and lists the files found, grouped by
// category and extension, or as one JSON object per line with --json.
#pragma once

#include <functional>

#include "cli/command_line.h"
#include "engine/scan_history.h"

namespace vexlo::cli {

// Declares the command on `parent`; its scans continue and keep their
// results in the scan history `history` gives when the command runs.
Command AddScanCommand(CLI::App& parent, std::function<ScanHistory&()> history);

}  // namespace vexlo::cli
