#include "cli/image_command.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "cli/source_argument.h"
#include "storage/destination_on_source.h"
#include "storage/disk_image_copy.h"
#include "storage/sector_io.h"

namespace vexlo::cli {
namespace {

// Unreadable ranges printed on the terminal; the map file has all of them.
constexpr std::size_t kRangesShown = 10;

int32_t OnProgress(void* user, int32_t percentage, uint64_t sectors_done, uint64_t sectors_total,
                   int64_t remaining_seconds) {
  if (InterruptRequested()) return kCancelCode;
  static_cast<ProgressDisplay*>(user)->Update(percentage, sectors_done, sectors_total,
                                              remaining_seconds);
  return 0;
}

void PrintUnreadable(const ImageCopyReport& report) {
  if (report.unreadable_sectors == 0) return;
  std::fprintf(stderr,
               "vexlo-recover: %llu sectors in %llu ranges could not be read and were written as "
               "zeros (image sectors):\n",
               static_cast<unsigned long long>(report.unreadable_sectors),
               static_cast<unsigned long long>(report.unreadable_range_count));
  const std::size_t shown = std::min(kRangesShown, report.unreadable.size());
  for (std::size_t i = 0; i < shown; ++i) {
    const UnreadableRange& range = report.unreadable[i];
    std::fprintf(stderr, "  %llu-%llu\n", static_cast<unsigned long long>(range.first_sector),
                 static_cast<unsigned long long>(range.first_sector + range.sector_count - 1));
  }
  if (report.unreadable_range_count > shown) std::fputs("  ...\n", stderr);
  if (!report.bad_map_path.empty()) {
    std::fprintf(stderr, "vexlo-recover: the list of unreadable sectors is in %s\n",
                 report.bad_map_path.c_str());
  }
  if (report.bad_map_error != 0) {
    Failure("cannot write the list of unreadable sectors beside the image", report.bad_map_error);
  }
}

}  // namespace

int RunImageCommand(std::span<const std::string_view> words) {
  ParsedArguments args;
  std::string error;
  if (!ParseArguments(words, {}, &args, &error)) return UsageError("image: " + error);
  if (args.positionals.size() != 2) return UsageError("image needs SOURCE and TARGET.img");
  const std::filesystem::path target = args.positionals[1];

  SourceArgument source;
  std::string source_name;
  if (int status = ResolveSource(args.positionals[0], &source, &source_name);
      status != kExitSuccess) {
    return status;
  }
  std::error_code ec;
  if (std::filesystem::exists(target, ec) && !std::filesystem::is_regular_file(target, ec)) {
    std::fprintf(stderr, "vexlo-recover: %s is not a regular file; the image must be a file.\n",
                 target.c_str());
    return kExitFailure;
  }
  // An image copied beside the image it is made of overwrites nothing of it;
  // onto itself, or onto the device it copies, it would.
  const bool on_source = source.kind == SourceArgument::Kind::kImageFile
                             ? SameExistingFile(target, source.path)
                             : DestinationOnSource(target, SourceMedium::Device(source.path));
  if (on_source) {
    std::fprintf(stderr,
                 "vexlo-recover: %s lies on the source %s; write the image to another drive, the "
                 "source is never written.\n",
                 target.c_str(), source_name.c_str());
    return kExitFailure;
  }

  DiskHandle disk;
  if (ErrorCode rc = OpenSourceMedium(source, &disk); !rc.ok()) {
    return SourceFailure(source, source_name, rc);
  }
  InstallInterruptHandler();
  ProgressDisplay display("image");
  ImageCopyJob job;
  job.progress = &OnProgress;
  job.user = &display;
  ImageCopyReport report;
  const ErrorCode rc =
      CopyDiskToImage(job, disk, source.first_sector, source.sector_count, target, &report);
  display.Finish();
  PrintUnreadable(report);

  if (rc == kCancelCode) {
    std::fprintf(stderr, "vexlo-recover: cancelled; %s holds the first %llu of %llu sectors.\n",
                 target.c_str(), static_cast<unsigned long long>(report.sectors_copied),
                 static_cast<unsigned long long>(report.sectors_total));
    return kExitCancelled;
  }
  if (!rc.ok()) {
    return Failure("copying " + source_name + " to " + target.string() + " failed after " +
                       std::to_string(report.sectors_copied) + " sectors",
                   rc);
  }
  std::printf("Copied %llu sectors of %u bytes from %s to %s.\n",
              static_cast<unsigned long long>(report.sectors_copied), report.sector_bytes,
              source_name.c_str(), target.c_str());
  return kExitSuccess;
}

}  // namespace vexlo::cli
