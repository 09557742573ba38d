// vexlo-recover: the command-line front end of the recovery engines.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/image_command.h"
#include "cli/list_command.h"
#include "cli/recover_command.h"
#include "cli/scan_command.h"
#include "engine/scan_history.h"
#include "platform/paths.h"

namespace {

// The usage lines (each command's first line and its indented continuations)
// name every command with every option it takes: the man page and the bash
// completion are checked against them.
constexpr const char* kUsage =
    "Usage:\n"
    "  vexlo-recover list [SOURCE] [--json]\n"
    "  vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST] [--json] [--fresh]\n"
    "      [--name GLOB]... [--min-size SIZE] [--max-size SIZE] [--after TIME] [--before TIME]\n"
    "      [--deleted-only] [--intact-only]\n"
    "  vexlo-recover recover SOURCE --to DIR [--mode quick|formatted|deep] [--types LIST] "
    "[--fresh] [--force] [--keep-folders] [--keep-times] [--report FILE] [--format json|dfxml]\n"
    "      [--name GLOB]... [--min-size SIZE] [--max-size SIZE] [--after TIME] [--before TIME]\n"
    "      [--deleted-only] [--intact-only] [--from FILE]\n"
    "  vexlo-recover image SOURCE TARGET.img [--retries N] [--timeout SECONDS] [--fresh]\n"
    "  vexlo-recover COMMAND -h | --help\n"
    "  vexlo-recover -h | --help | -V | --version\n"
    "\n"
    "Finds deleted and lost files on memory cards, USB sticks, disks and disk images\n"
    "(FAT12/16/32, exFAT, NTFS, ext, and any medium by file signatures) and copies them to a\n"
    "folder on another drive. The source is only ever read.\n"
    "\n"
    "SOURCE is an image file, a block device (/dev/sdb, /dev/sdb1) or entry:N from 'list'.\n"
    "An image or a whole disk is scanned partition by partition; IMAGE:N (or /dev/sdb:N)\n"
    "names partition N of its table, IMAGE:0 all of it, and 'list IMAGE' shows them.\n"
    "\n"
    "--name and the other choosing options keep only the files that pass all of them; SIZE\n"
    "counts in 1024s (10k, 4M, 1G), TIME is 2024-05-01 or 2024-05-01T10:30 as scan prints it.\n"
    "recover --from takes the lines of 'scan --json' (- for standard input) to recover.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage, 130 interrupted (Ctrl-C),\n"
    "143 terminated (SIGTERM); an interrupted scan is continued by the same command.\n";

constexpr const char* kVersion =
    "vexlo-recover " VEXLO_VERSION
    "\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace vexlo::cli;
  if (argc == 2 && std::string_view(argv[1]) == "help") {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  CLI::App app("", "vexlo-recover");
  // The program's own usage text stands for the generated one: it is the
  // one reference the man page and the completion are checked against.
  app.set_help_flag();
  bool help = false;
  bool version = false;
  AddFlag(app, "-h,--help", &help, "show the usage and exit");
  AddFlag(app, "-V,--version", &version, "show the version and licence and exit");
  // The one scan history of the process, made when a scan needs it: help,
  // list and image leave the scan-log folder alone.
  std::optional<vexlo::ScanHistory> history;
  const auto scan_history = [&history]() -> vexlo::ScanHistory& {
    if (!history) history.emplace(vexlo::platform::ScanLogRoot());
    return *history;
  };
  const Command commands[] = {AddListCommand(app), AddScanCommand(app, scan_history),
                              AddRecoverCommand(app, scan_history), AddImageCommand(app)};
  app.require_subcommand(0, 1);
  if (argc >= 2 && argv[1][0] != '-') {
    const std::string_view word = argv[1];
    // CLI11 would call the word an unexpected argument and leave the user
    // to guess that it was meant as a command.
    bool known = false;
    std::string names;
    for (const Command& command : commands) {
      known = known || command.app->get_name() == word;
      names += (names.empty() ? "" : ", ") + command.app->get_name();
    }
    if (!known) {
      return UsageError("unknown command '" + std::string(word) + "'; the commands are " + names);
    }
    SetUsageCommand(word);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // Only a command's own -h/--help gets here.
    for (const Command& command : commands) {
      if (command.app->parsed()) std::fputs(command.app->help("vexlo-recover").c_str(), stdout);
    }
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (help || version) {
    std::fputs(help ? kUsage : kVersion, stdout);
    return kExitSuccess;
  }
  for (const Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  std::fputs(kUsage, stderr);
  return kExitUsage;
}
