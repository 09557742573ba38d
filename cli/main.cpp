// vexlo-recover: the command-line front end of the recovery engines.
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/image_command.h"
#include "cli/list_command.h"
#include "cli/recover_command.h"
#include "cli/scan_command.h"
#include "engine/scan_history.h"
#include "platform/paths.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vexlo-recover list [SOURCE] [--json]\n"
    "  vexlo-recover scan SOURCE [--mode quick|formatted|deep] [--types LIST] [--json] [--fresh]\n"
    "  vexlo-recover recover SOURCE --to DIR [--mode quick|formatted|deep] [--types LIST] "
    "[--fresh] [--force]\n"
    "  vexlo-recover image SOURCE TARGET.img [--retries N] [--timeout SECONDS] [--fresh]\n"
    "  vexlo-recover -h | --help | -V | --version\n"
    "\n"
    "Finds deleted and lost files on memory cards, USB sticks, disks and disk images\n"
    "(FAT12/16/32, NTFS, and any medium by file signatures) and copies them to a folder\n"
    "on another drive. The source is only ever read.\n"
    "\n"
    "SOURCE is an image file, a block device (/dev/sdb, /dev/sdb1) or entry:N from 'list'.\n"
    "An image or a whole disk is scanned partition by partition; IMAGE:N (or /dev/sdb:N)\n"
    "names partition N of its table, IMAGE:0 all of it, and 'list IMAGE' shows them.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (command == "--version" || command == "-V") {
      std::printf(
          "vexlo-recover %s\n"
          "License GPL-3.0-or-later: GNU GPL version 3 or later "
          "<https://gnu.org/licenses/gpl.html>.\n"
          "This is free software: you are free to change and redistribute it.\n"
          "There is NO WARRANTY, to the extent permitted by law.\n",
          VEXLO_VERSION);
      return 0;
    }
    const std::vector<std::string_view> words(argv + 2, argv + argc);
    if (command == "list") return vexlo::cli::RunListCommand(words);
    if (command == "image") return vexlo::cli::RunImageCommand(words);
    if (command == "scan" || command == "recover") {
      // The one scan history of this run; everything that scans is handed it.
      vexlo::ScanHistory history(vexlo::platform::ScanLogRoot());
      return command == "scan" ? vexlo::cli::RunScanCommand(words, history)
                               : vexlo::cli::RunRecoverCommand(words, history);
    }
    std::fprintf(stderr, "vexlo-recover: unknown command '%s'\n\n", argv[1]);
  }
  std::fputs(kUsage, stderr);
  return vexlo::cli::kExitUsage;
}
