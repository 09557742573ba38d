#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iterator>

#include "platform/error_code.h"

namespace vexlo::cli {

CLI::App* AddSubcommand(CLI::App& parent, const std::string& name, const std::string& description) {
  CLI::App* command = parent.add_subcommand(name, description);
  command->set_help_flag("-h,--help", "show this help and exit");
  return command;
}

CLI::Option* AddFlag(CLI::App& command, const std::string& name, bool* value,
                     const std::string& description) {
  return command.add_flag(name, *value, description)->disable_flag_override();
}

namespace {
std::string& UsageCommand() {
  static std::string command;
  return command;
}
}  // namespace

void SetUsageCommand(std::string_view command) { UsageCommand() = command; }

int UsageError(std::string_view message) {
  const std::string help = UsageCommand().empty() ? "--help" : UsageCommand() + " --help";
  std::fprintf(stderr, "vexlo-recover: %.*s\nTry 'vexlo-recover %s'.\n",
               static_cast<int>(message.size()), message.data(), help.c_str());
  return kExitUsage;
}

int Failure(std::string_view what, ErrorCode code) {
  std::fprintf(stderr, "vexlo-recover: %.*s: %s\n", static_cast<int>(what.size()), what.data(),
               platform::SystemMessage(code).c_str());
  return kExitFailure;
}

std::string Counted(uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string SizeText(uint64_t bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

}  // namespace vexlo::cli
