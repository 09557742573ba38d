#include "cli/recover_command.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "catalogue/display_format.h"
#include "catalogue/recovery_report.h"
#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/record_list.h"
#include "cli/record_selection.h"
#include "cli/scan_session.h"
#include "engine/recovery_run.h"
#include "platform/disk_table.h"
#include "storage/destination_on_source.h"
#include "storage/medium_fingerprint.h"

namespace vexlo::cli {
namespace {

struct RecoverWords {
  std::string source;
  std::string to;
  ScanRequestWords request;
  SelectionWords selection;
  std::string from;
  bool force = false;
  bool keep_folders = false;
  bool keep_times = false;
  std::string report;  // empty: report.json (report.xml as DFXML) in the folder
  std::string format;  // empty: "json"
};

struct RecoveryTally {
  uint64_t bytes = 0;
  uint64_t with_unreadable_parts = 0;
};

// Called with each file's progress; the line is printed once, when the file
// is done.
int32_t OnRecoveryProgress(void* user, int32_t progress, int32_t scale, int32_t error_code,
                           const char* file_name, uint64_t unreadable_bytes) {
  if (int64_t{progress} * scale / 100 < 100) return InterruptRequested() ? kCancelCode : 0;
  auto* tally = static_cast<RecoveryTally*>(user);
  if (error_code == err::kSuccess) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file_name, ec);
    if (!ec) tally->bytes += size;
  }
  std::string outcome = catalogue::RecoveryOutcomeText(error_code);
  if (error_code == err::kSuccess && unreadable_bytes != 0) {
    ++tally->with_unreadable_parts;
    outcome += "; " + Counted(unreadable_bytes, "byte") +
               (unreadable_bytes == 1 ? " is a zero" : " are zeros") + " from unreadable sectors";
  }
  std::printf("%s: %s\n", file_name, outcome.c_str());
  std::fflush(stdout);
  return InterruptRequested() ? kCancelCode : 0;
}

// Whether writing into `dir` could overwrite what is still to be rescued:
// only on a device source. An image's data belong to its file, which files
// written beside it cannot overwrite.
bool DirOnSource(const std::filesystem::path& dir, const SourceArgument& source) {
  return source.kind == SourceArgument::Kind::kDisk &&
         DestinationOnSource(dir, SourceMedium::Device(source.path));
}

// The fingerprint of a part's stretch of the medium, as a saved scan keeps
// it; none when the source cannot be opened again.
std::optional<MediumFingerprint> PartFingerprint(const SourceArgument& source,
                                                 const MediumPartition& partition) {
  DiskHandle disk;
  std::string identity;
  ErrorCode opened = err::kSuccess;
  if (source.kind == SourceArgument::Kind::kImageFile) {
    opened = OpenImageFile(source.path, &disk);
  } else {
    opened = OpenPhysicalDisk(source.disk_number, &disk);
    const std::vector<platform::DiskInfo> disks = platform::ListWholeDisks();
    if (source.disk_number < disks.size()) {
      identity = platform::DiskIdentity(disks[source.disk_number]);
    }
  }
  MediumFingerprint fingerprint;
  const bool taken =
      opened.ok() &&
      FingerprintMedium(disk, partition.first_sector,
                        SectorsOnDisk(disk, partition.first_sector, partition.sector_count),
                        disk.device_sector_bytes, identity, &fingerprint)
          .ok();
  CloseDiskHandle(disk);
  return taken ? std::optional(fingerprint) : std::nullopt;
}

// Writes the run's report; the failure is told but spoils no recovered file.
bool WriteReport(const RecoverWords& words, const RecoveryRun& run, const ScanSession& session,
                 const SourceArgument& source, const RecoveryOptions& options) {
  const bool dfxml = words.format == "dfxml";
  // The default name never replaces the report of an earlier run into DIR.
  const std::filesystem::path path =
      !words.report.empty()
          ? std::filesystem::path(words.report)
          : UniquePath(std::filesystem::path(words.to) / (dfxml ? "report.xml" : "report.json"));
  catalogue::RecoveryReport report(run, words.to, options, "vexlo-recover " VEXLO_VERSION);
  for (const ScanSession::Part& part : session.parts()) {
    if (const auto fingerprint = PartFingerprint(source, part.partition)) {
      report.SetFingerprint(part.source_id, *fingerprint);
    }
  }
  const ErrorCode rc =
      report.Write(path, dfxml ? catalogue::ReportFormat::kDfxml : catalogue::ReportFormat::kJson);
  if (!rc.ok()) {
    (void)Failure("cannot write the report " + path.string(), rc);
    return false;
  }
  std::printf("Report: %s\n", path.c_str());
  return true;
}

// Narrows the session's files to those --from lists and the filters keep.
// False when a listed record is not among them, each told on stderr.
bool SelectFiles(const RecoverWords& words, const std::vector<ListedRecord>& listed,
                 const RecordFilter& filter, ScanSession& session) {
  if (!words.from.empty()) {
    if (std::string error; !KeepListedFiles(listed, &session.files(), &error)) {
      const std::string list = words.from == "-" ? "standard input" : words.from;
      std::istringstream lines(error);
      for (std::string line; std::getline(lines, line);) {
        std::fprintf(stderr, "vexlo-recover: %s, %s\n", list.c_str(), line.c_str());
      }
      std::fputs("vexlo-recover: nothing was recovered.\n", stderr);
      return false;
    }
  }
  KeepMatchingFiles(session, filter);
  return true;
}

int RunRecover(const RecoverWords& words, ScanHistory& history) {
  ScanRequest request = ReadScanRequest(words.request);
  if (std::string error; !ReadRecordFilter(words.selection, &request.chosen, &error)) {
    return UsageError(error);
  }
  // The list is read before the scan, so that a pipe's writer finishes its
  // own scan first and a broken list costs no scan.
  std::vector<ListedRecord> listed;
  if (std::string error; !words.from.empty() && !ReadRecordList(words.from, &listed, &error)) {
    std::fprintf(stderr, "vexlo-recover: %s\n", error.c_str());
    return kExitFailure;
  }
  SourceArgument source;
  std::string source_name;
  if (int status = ResolveSource(words.source, &source, &source_name); status != kExitSuccess) {
    return status;
  }
  const std::filesystem::path dir = words.to;
  if (!words.force && DirOnSource(dir, source)) {
    std::fprintf(stderr,
                 "vexlo-recover: %s lies on the source %s; recovering there may overwrite the "
                 "files being rescued. Choose a folder on another drive (or give --force).\n",
                 dir.c_str(), source_name.c_str());
    return kExitFailure;
  }
  ScanSession session(history);
  if (int status = session.Run(source, source_name, request); status != kExitSuccess) {
    return status;
  }
  if (!SelectFiles(words, listed, request.chosen, session)) return kExitFailure;
  // Made only now, so that a list that does not fit the scan leaves no trace.
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) {
    return Failure("cannot create the folder " + dir.string(),
                   FromErrno(ec ? ec.value() : ENOTDIR));
  }
  std::vector<RecoverySource> engines;
  for (const ScanSession::Part& part : session.parts()) {
    engines.emplace_back(part.source_id, part.engine.get(), part.name);
  }
  RecoveryTally tally;
  const RecoveryOptions options{.keep_folders = words.keep_folders, .keep_times = words.keep_times};
  RecoveryRun run(std::move(engines), dir, &OnRecoveryProgress, &tally, options);
  const ErrorCode rc = run.Run(session.files());
  const bool reported = WriteReport(words, run, session, source, options);
  std::printf("Finished %" PRIu64 " of %s: %" PRIu64 " written, %" PRIu64 " failed, %s.\n",
              run.finished(), Counted(run.files_to_write(), "file").c_str(), run.written(),
              run.failed(), Counted(tally.bytes, "byte").c_str());
  if (tally.with_unreadable_parts != 0) {
    std::printf("Files written with zeros where their sectors could not be read: %" PRIu64 ".\n",
                tally.with_unreadable_parts);
  }
  if (rc == kCancelCode) {
    std::fputs("vexlo-recover: recovery cancelled.\n", stderr);
    return CancelledStatus();
  }
  if (!rc.ok()) return Failure("recovering from " + source_name + " failed", rc);
  return run.failed() == 0 && session.failed_parts() == 0 && reported ? kExitSuccess : kExitFailure;
}

}  // namespace

Command AddRecoverCommand(CLI::App& parent, std::function<ScanHistory&()> history) {
  return AddCommand<RecoverWords>(
      parent, "recover",
      "Scans SOURCE (or continues its saved scan) and writes every file found, or those "
      "the options choose, into DIR, one folder per category (or the medium's folders with "
      "--keep-folders), and a report of what was written, with hashes. The source is only read.",
      [history = std::move(history)](const RecoverWords& words) {
        return RunRecover(words, history());
      },
      [](CLI::App& command, RecoverWords& words) {
        command.add_option("SOURCE", words.source, kSourceHelp)->required();
        command.add_option("--to", words.to, "the folder to write into, on another drive")
            ->type_name("DIR")
            ->required()
            ->check([](const std::string& dir) { return dir.empty() ? "needs a folder" : ""; });
        AddScanRequestOptions(command, &words.request);
        AddSelectionOptions(command, &words.selection);
        command
            .add_option("--from", words.from,
                        "only the files of FILE, JSON lines from 'scan --json' (- reads "
                        "standard input), matched by source_id and record_number")
            ->type_name("FILE")
            ->check([](const std::string& file) { return file.empty() ? "needs a file" : ""; });
        AddFlag(command, "--force", &words.force,
                "write into DIR even when it lies on the source's own file system");
        AddFlag(command, "--keep-folders", &words.keep_folders,
                "keep the medium's folders: DIR/SOURCE/FOLDERS/NAME (carved files in "
                "DIR/SOURCE/CATEGORY/) instead of one folder per category");
        AddFlag(command, "--keep-times", &words.keep_times,
                "give the files (and the folders --keep-folders makes) their modification and "
                "access times from the medium; creation times go into the report");
        command
            .add_option("--report", words.report,
                        "where to write the run's report (default: report.json in DIR, "
                        "report.xml with --format dfxml)")
            ->type_name("FILE");
        command
            .add_option("--format", words.format,
                        "the report's format: json or dfxml (Digital Forensics XML)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"json", "dfxml"}));
      });
}

}  // namespace vexlo::cli
