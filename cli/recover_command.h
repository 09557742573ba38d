// `vexlo-recover recover SOURCE --to DIR [--mode quick|formatted|deep]
// [--types LIST] [--fresh] [--force] [selection options] [--from FILE]`:
// scans (or continues a saved scan), then writes every file found, or those
// the selection options and the --from list (cli/record_list.h) both keep,
// into DIR, one folder per category, with a line per file and a summary. DIR
// must not lie on the source's own file system, where each written file could
// overwrite what is still to be rescued, unless --force is given. A --from
// list that names a file the scan lacks writes nothing, DIR not even made.
#pragma once

#include <functional>

#include "cli/command_line.h"
#include "engine/scan_history.h"

namespace vexlo::cli {

// Declares the command on `parent`; its scans continue and keep their
// results in the scan history `history` gives when the command runs.
Command AddRecoverCommand(CLI::App& parent, std::function<ScanHistory&()> history);

}  // namespace vexlo::cli
