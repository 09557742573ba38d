// The pieces every subcommand of vexlo-recover shares: exit statuses,
// parsing of the words after the subcommand, and how failures are printed.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error_code.h"

namespace vexlo::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;  // the shell's status for Ctrl-C

// An option a subcommand accepts: "--json" alone, or "--mode" with a value
// ("--mode deep" or "--mode=deep").
struct CommandOption {
  std::string_view name;
  bool takes_value = false;
};

struct ParsedArguments {
  std::vector<std::string> positionals;
  std::map<std::string, std::string, std::less<>> options;  // a flag maps to ""

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  // The option's value; null when it was not given.
  const std::string* Value(std::string_view name) const;
};

// Parses the words after the subcommand. Words after "--" are positionals
// even when they begin with "-". False, with a message in *error, for an
// unknown or repeated option or one that lacks its value.
bool ParseArguments(std::span<const std::string_view> words, std::span<const CommandOption> options,
                    ParsedArguments* parsed, std::string* error);

// "vexlo-recover: <message>" and a pointer to --help on stderr; returns
// kExitUsage.
int UsageError(std::string_view message);

// "vexlo-recover: <what>: <system message>" on stderr. Returns kExitFailure.
int Failure(std::string_view what, ErrorCode code);

// "512 B", "48.0 MiB", "1.9 GiB".
std::string SizeText(uint64_t bytes);

// What to do about a device the system refused to open: get the rights to
// read disks, or, for root, what refused it. Starts in lower case.
const char* DeviceRefusedAdvice();

}  // namespace vexlo::cli
