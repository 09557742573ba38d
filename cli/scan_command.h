// `vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST]
// [--json] [--fresh]`: scans a source and lists the files found, grouped by
// category and extension, or as one JSON object per line with --json.
#pragma once

#include <span>
#include <string_view>

namespace vexlo::cli {

// `words` are the arguments after "scan". Returns the exit status.
int RunScanCommand(std::span<const std::string_view> words);

}  // namespace vexlo::cli
