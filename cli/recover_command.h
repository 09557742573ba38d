// `vexlo-recover recover SOURCE --to DIR [--mode quick|formatted|deep]
// [--types LIST] [--fresh] [--force]`: scans (or continues a saved scan),
// then writes every file found into DIR, one folder per category, with a
// line per file and a summary. DIR must not lie on the source's own file
// system, where each written file could overwrite what is still to be
// rescued, unless --force is given.
#pragma once

#include <span>
#include <string_view>

#include "engine/scan_history.h"

namespace vexlo::cli {

// `words` are the arguments after "recover"; the scan's logs go into
// `history`. Returns the exit status.
int RunRecoverCommand(std::span<const std::string_view> words, ScanHistory& history);

}  // namespace vexlo::cli
