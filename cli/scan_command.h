// `vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST]
// [--json] [--fresh]`: scans a source and lists the files found, grouped by
// category and extension, or as one JSON object per line with --json.
#pragma once

#include <span>
#include <string_view>

#include "engine/scan_history.h"

namespace vexlo::cli {

// `words` are the arguments after "scan"; the scan's logs go into
// `history`. Returns the exit status.
int RunScanCommand(std::span<const std::string_view> words, ScanHistory& history);

}  // namespace vexlo::cli
