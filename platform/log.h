// Diagnostics for damaged inputs that the program survives (a corrupt scan
// history, a broken index file). They go to standard error with a
// "vexlo:" prefix; tests may silence them.
#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo::platform {

// Writes "vexlo: <what> (code N)" to standard error unless silenced.
void LogProblem(std::string_view what, int32_t code);

void SetLogSilenced(bool silenced);

}  // namespace vexlo::platform
