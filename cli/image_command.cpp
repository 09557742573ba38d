#include "cli/image_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "catalogue/display_format.h"
#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "cli/source_argument.h"
#include "storage/destination_on_source.h"
#include "storage/disk_image_copy.h"
#include "storage/sector_io.h"

namespace vexlo::cli {
namespace {

// Unreadable ranges printed on the terminal; the map has all of them.
constexpr std::size_t kRangesShown = 10;

struct ImageWords {
  std::string source;
  std::string target;
  ImageCopyJob job;
};

std::string Size(uint64_t bytes) { return catalogue::SizeText(static_cast<int64_t>(bytes)); }

std::string StageText(const ImageCopyProgress& progress) {
  std::string stage = RescuePhaseName(progress.phase);
  if (progress.phase == RescuePhase::kCopying || progress.phase == RescuePhase::kRetrying) {
    stage += ", pass " + std::to_string(progress.pass);
  }
  return stage;
}

std::string DetailsText(const ImageCopyProgress& progress) {
  std::string text = "rescued " + Size(progress.rescued_bytes) + ", ";
  text += progress.bad_areas == 0
              ? std::string("no bad areas")
              : "bad " + Size(progress.failed_bytes) + " in " + Counted(progress.bad_areas, "area");
  if (progress.phase == RescuePhase::kFinished) return text;
  text += ", " + Size(progress.read_rate_bytes_per_second) + "/s, last good read " +
          DurationText(static_cast<int64_t>(progress.seconds_since_success)) + " ago";
  if (progress.remaining_seconds >= 0) {
    text += ", about " + DurationText(progress.remaining_seconds) + " left";
  }
  return text;
}

int32_t OnProgress(void* user, const ImageCopyProgress& progress) {
  if (InterruptRequested()) return kCancelCode;
  static_cast<ProgressDisplay*>(user)->UpdateStage(progress.percentage, StageText(progress),
                                                   DetailsText(progress));
  return 0;
}

void PrintUnreadable(const ImageCopyReport& report) {
  if (report.unreadable_sectors == 0) return;
  std::fprintf(stderr,
               "vexlo-recover: %s in %s could not be read; the image holds zeros in their place "
               "(image sectors):\n",
               Counted(report.unreadable_sectors, "sector").c_str(),
               Counted(report.unreadable_range_count, "range").c_str());
  const std::size_t shown = std::min(kRangesShown, report.unreadable.size());
  for (std::size_t i = 0; i < shown; ++i) {
    const UnreadableRange& range = report.unreadable[i];
    std::fprintf(stderr, "  %llu-%llu\n", static_cast<unsigned long long>(range.first_sector),
                 static_cast<unsigned long long>(range.first_sector + range.sector_count - 1));
  }
  if (report.unreadable_range_count > shown) std::fputs("  ...\n", stderr);
}

// What to do next, after a copy that stopped before its end.
void PrintHowToContinue(const ImageCopyReport& report, const std::filesystem::path& target) {
  std::fprintf(stderr,
               "vexlo-recover: %s holds what was copied so far (%s of %s); its map is %s.\n"
               "vexlo-recover: run the same command again to continue the copy.\n",
               target.c_str(), Size(report.totals.finished).c_str(),
               Size(report.sectors_total * report.sector_bytes).c_str(), report.map_path.c_str());
}

int ReportEnd(ErrorCode rc, const ImageCopyReport& report, const std::string& source_name,
              const std::filesystem::path& target, uint32_t silence_limit) {
  if (report.map_error != 0) {
    Failure("cannot save the map " + report.map_path.string(), report.map_error);
  }
  switch (report.end) {
    case ImageCopyEnd::kFinished:
      PrintUnreadable(report);
      std::printf(
          "Rescued %s (%llu of %llu sectors of %u bytes) from %s into %s; the map of the "
          "copy is %s.\n",
          Size(report.totals.finished).c_str(),
          static_cast<unsigned long long>(report.rescued_sectors),
          static_cast<unsigned long long>(report.sectors_total), report.sector_bytes,
          source_name.c_str(), target.c_str(), report.map_path.c_str());
      if (report.unreadable_sectors != 0) {
        std::printf(
            "To try the unreadable sectors again, run the same command with "
            "--retries 1 (or more).\n");
      }
      return kExitSuccess;
    case ImageCopyEnd::kCancelled:
      std::fputs("vexlo-recover: stopped.\n", stderr);
      PrintHowToContinue(report, target);
      return CancelledStatus();
    case ImageCopyEnd::kDeviceGone:
      std::fprintf(stderr,
                   "vexlo-recover: %s has vanished (unplugged, or its reader gave up); the copy "
                   "stopped.\n",
                   source_name.c_str());
      PrintHowToContinue(report, target);
      return kExitFailure;
    case ImageCopyEnd::kDeviceSilent:
      std::fprintf(stderr,
                   "vexlo-recover: %s stopped answering: read after read failed, and then a "
                   "sector that had read well before failed too. The copy stopped to spare the "
                   "device (--timeout sets how long reads may fail before that check; now %u "
                   "s).\n",
                   source_name.c_str(), silence_limit);
      PrintHowToContinue(report, target);
      return kExitFailure;
    case ImageCopyEnd::kMapUnusable:
      std::fprintf(stderr,
                   "vexlo-recover: %s is not the map of a copy of %s into %s (it describes "
                   "another size, or it is damaged). Move it away, or add --fresh to start the "
                   "image anew.\n",
                   report.map_path.c_str(), source_name.c_str(), target.c_str());
      return kExitFailure;
    case ImageCopyEnd::kFailed:
      break;
  }
  return Failure("copying " + source_name + " to " + target.string() + " failed", rc);
}

int RunImage(const ImageWords& words) {
  const std::filesystem::path target = words.target;
  ImageCopyJob job = words.job;

  SourceArgument source;
  std::string source_name;
  if (int status = ResolveSource(words.source, &source, &source_name); status != kExitSuccess) {
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
  if (!job.fresh && std::filesystem::exists(MapfilePath(target), ec) &&
      std::filesystem::exists(target, ec)) {
    std::fprintf(stderr, "vexlo-recover: continuing the copy recorded in %s\n",
                 MapfilePath(target).c_str());
  }
  InstallInterruptHandler();
  ProgressDisplay display("image");
  job.progress = &OnProgress;
  job.user = &display;
  job.source_name = source_name;
  ImageCopyReport report;
  const ErrorCode rc =
      CopyDiskToImage(job, disk, source.first_sector, source.sector_count, target, &report);
  display.Finish();
  return ReportEnd(rc, report, source_name, target, job.silence_limit_seconds);
}

}  // namespace

Command AddImageCommand(CLI::App& parent) {
  return AddCommand<ImageWords>(
      parent, "image",
      "Copies SOURCE sector by sector into the image file TARGET, going on past unreadable "
      "sectors (written as zeros and listed in its map file), then reads them again. Ctrl-C "
      "keeps the partial image, and the same command continues it.",
      &RunImage, [](CLI::App& command, ImageWords& words) {
        command.add_option("SOURCE", words.source, kSourceHelp)->required();
        command.add_option("TARGET", words.target, "the image file to write, on another drive")
            ->required();
        command
            .add_option("--retries", words.job.retry_passes,
                        "passes over the unreadable sectors after the copy")
            ->type_name("N");
        command
            .add_option("--timeout", words.job.silence_limit_seconds,
                        "seconds reads may fail before the copy checks that the medium is "
                        "still there")
            ->type_name("SECONDS");
        AddFlag(command, "--fresh", &words.job.fresh,
                "start a new copy instead of continuing the one its map file records");
      });
}

}  // namespace vexlo::cli
