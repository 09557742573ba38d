// `vexlo-recover image SOURCE TARGET.img [--retries N] [--timeout SECONDS]
// [--fresh]`: copies a disk, a partition, a disk-list entry or an image file
// into an image file the way a failing card should be copied (readable areas
// first, then the edges of bad areas, then the rest sector by sector),
// keeping a GNU ddrescue mapfile TARGET.img.map beside it. Running the same
// command again continues the copy from the map; --fresh starts anew.
// Ctrl-C or SIGTERM stops the copy with the map saved; so does a device that
// vanishes or stops answering for --timeout seconds.
#pragma once

#include "cli/command_line.h"

namespace vexlo::cli {

// Declares the command on `parent`.
Command AddImageCommand(CLI::App& parent);

}  // namespace vexlo::cli
