// `vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST]
// [--json] [--fresh]`: scans a source and lists the files found, grouped by
// category and extension, or as one JSON object per line with --json.
#pragma once

#include "cli/command_line.h"

namespace vexlo::cli {

// Declares the command on `parent`; it scans with its own scan history.
Command AddScanCommand(CLI::App& parent);

}  // namespace vexlo::cli
