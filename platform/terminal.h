// What a front end needs to know about the terminal it writes to, so that a
// progress line redrawn in place never wraps.
#pragma once

#include <cstdio>

namespace vexlo::platform {

// True when `stream` is a terminal.
bool IsTerminal(std::FILE* stream);

// Width of the terminal behind `stream` in columns; 0 when it is no terminal
// or does not say.
int TerminalColumns(std::FILE* stream);

}  // namespace vexlo::platform
