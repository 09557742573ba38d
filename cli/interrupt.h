// Ctrl-C as a cancel request: the first SIGINT (or SIGTERM) only sets a flag
// that the running operation's progress callback turns into the cancel code,
// so files being written are closed cleanly; a second one ends the program
// at once.
#pragma once

namespace vexlo::cli {

void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace vexlo::cli
