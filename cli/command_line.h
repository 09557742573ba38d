// The pieces every subcommand of vexlo-recover shares: exit statuses, how a
// subcommand declares itself to the argument parser, and how failures are
// printed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error_code.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace vexlo::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;   // the shell's status for Ctrl-C
inline constexpr int kExitTerminated = 143;  // and for SIGTERM

// A subcommand as main() runs it: while the command line is parsed its
// options land in the command's own settings, which `run` then acts on.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// Adds subcommand `name`, with -h/--help, to `parent`.
CLI::App* AddSubcommand(CLI::App& parent, const std::string& name, const std::string& description);

// Adds command `name` with settings of its own: `declare` declares its
// options into them (with AddFlag and CLI::App::add_option), and `run` acts
// on them once the command line is parsed. A new option is a line of its
// command's `declare` and a field of its settings.
template <typename Words>
Command AddCommand(CLI::App& parent, const std::string& name, const std::string& description,
                   std::function<int(const Words&)> run,
                   const std::function<void(CLI::App&, Words&)>& declare) {
  auto words = std::make_shared<Words>();
  CLI::App* command = AddSubcommand(parent, name, description);
  declare(*command, *words);
  return {command, [words, run = std::move(run)] { return run(*words); }};
}

// A flag that takes no value: "--json" only, never "--json=yes".
CLI::Option* AddFlag(CLI::App& command, const std::string& name, bool* value,
                     const std::string& description);

// Names the subcommand the command line chose, once it is known: a usage
// error then points at that command's own help, which lists what it takes.
void SetUsageCommand(std::string_view command);

// "vexlo-recover: <message>" and a pointer to --help (the chosen
// subcommand's) on stderr; returns kExitUsage.
int UsageError(std::string_view message);

// "vexlo-recover: <what>: <system message>" on stderr. Returns kExitFailure.
int Failure(std::string_view what, ErrorCode code);

// "1 file", "12 files": `count` and `noun`, which takes an "s" unless the
// count is one (every noun the program counts is a regular one).
std::string Counted(uint64_t count, std::string_view noun);

// "512 B", "48.0 MiB", "1.9 GiB".
std::string SizeText(uint64_t bytes);

}  // namespace vexlo::cli
