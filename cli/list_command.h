// `vexlo-recover list [--json]`: the disk list, one numbered entry per
// volume, free area or whole disk; the numbers are what "entry:N" names.
#pragma once

#include "cli/command_line.h"

namespace vexlo::cli {

// Declares the command on `parent`.
Command AddListCommand(CLI::App& parent);

}  // namespace vexlo::cli
