#include "cli/command_line.h"

#include <cstdio>
#include <iterator>

#include "platform/sector_source.h"

namespace vexlo::cli {

const std::string* ParsedArguments::Value(std::string_view name) const {
  const auto it = options.find(name);
  return it == options.end() ? nullptr : &it->second;
}

bool ParseArguments(std::span<const std::string_view> words, std::span<const CommandOption> options,
                    ParsedArguments* parsed, std::string* error) {
  *parsed = ParsedArguments{};
  bool options_ended = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (options_ended || word.size() < 2 || word[0] != '-') {
      parsed->positionals.emplace_back(word);
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    const CommandOption* known = nullptr;
    for (const CommandOption& option : options) {
      if (option.name == name) known = &option;
    }
    if (known == nullptr) {
      *error = "unknown option '" + std::string(name) + "'";
      return false;
    }
    if (parsed->Has(name)) {
      *error = "option '" + std::string(name) + "' given twice";
      return false;
    }
    std::string value;
    if (known->takes_value) {
      if (equals != std::string_view::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        *error = "option '" + std::string(name) + "' needs a value";
        return false;
      }
    } else if (equals != std::string_view::npos) {
      *error = "option '" + std::string(name) + "' takes no value";
      return false;
    }
    parsed->options.emplace(std::string(name), std::move(value));
  }
  return true;
}

int UsageError(std::string_view message) {
  std::fprintf(stderr, "vexlo-recover: %.*s\nTry 'vexlo-recover --help'.\n",
               static_cast<int>(message.size()), message.data());
  return kExitUsage;
}

int Failure(std::string_view what, ErrorCode code) {
  std::fprintf(stderr, "vexlo-recover: %.*s: %s\n", static_cast<int>(what.size()), what.data(),
               platform::SystemMessage(code).c_str());
  return kExitFailure;
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

const char* DeviceRefusedAdvice() {
  return platform::RunsAsRoot()
             ? "the system refuses to open the device for reading although this program runs as "
               "root: a rule of the system (a container's device list or a security module) "
               "forbids it."
             : "reading disks needs more rights: run as root or as a member of the disk group.";
}

}  // namespace vexlo::cli
