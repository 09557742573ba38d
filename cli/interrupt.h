// Ctrl-C and SIGTERM as a cancel request: the first one only sets a flag
// that the running operation's progress callback turns into the cancel code,
// so files being written are closed cleanly and a scan keeps what it found
// for the next run; a second one ends the program at once.
#pragma once

namespace vexlo::cli {

void InstallInterruptHandler();
bool InterruptRequested();

// The exit status the shell gives for the signal that cancelled the work:
// 130 for SIGINT, 143 for SIGTERM (kExitCancelled when none came).
int CancelledStatus();

}  // namespace vexlo::cli
