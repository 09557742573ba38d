// Runs the built vexlo-recover (or another program) as a user would, for the
// end-to-end tests: its exit status and everything it printed, optionally
// with a Ctrl-C sent while it works.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace vexlo::testing {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  std::string out;
  std::string err;
  bool interrupted = false;  // the signal was sent
};

// The vexlo-recover of this build.
const std::filesystem::path& ToolBinary();

// Runs the tool to its end; stdout goes through a file of `temp`, stderr is
// read as it comes. With a non-empty `interrupt_when`, `signal` is sent once
// stderr contains that text (e.g. the first progress line), so the signal
// arrives while the work is under way rather than before it started.
ToolRun RunTool(const TempDir& temp, const std::vector<std::string>& args,
                const std::string& interrupt_when = "", int signal = SIGINT);

// Runs the tool to its end while `alongside` runs with its process id, to
// signal it at a moment the test chooses; `interrupted` is what `alongside`
// returns.
ToolRun RunToolAlongside(const TempDir& temp, const std::vector<std::string>& args,
                         const std::function<bool(pid_t)>& alongside);

// The same for any program, named by its path.
ToolRun RunProgram(const TempDir& temp, const std::filesystem::path& program,
                   const std::vector<std::string>& args, const std::string& interrupt_when = "",
                   int signal = SIGINT);

// The whole content of a file; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

// One line per object of the JSON lines `json` (a `scan --json` or `list
// --json` output), made by the Python expression `row` of the object `r`,
// sorted; or "unparsable: " and the text.
std::string JsonLines(const TempDir& temp, const std::string& json, const std::string& row);

}  // namespace vexlo::testing
