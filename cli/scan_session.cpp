#include "cli/scan_session.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <system_error>

#include "catalogue/display_format.h"
#include "catalogue/extension_selection.h"
#include "catalogue/type_options.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "engine/guarded_call.h"
#include "engine/history_entry.h"
#include "engine/listed_file_count.h"
#include "engine/scan_history.h"
#include "platform/text.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"
#include "storage/sector_io.h"

namespace vexlo::cli {
namespace {

using catalogue::ExtensionSelection;
using catalogue::TypeBox;
using catalogue::TypeBoxes;
using catalogue::TypeBoxId;
using catalogue::TypeOption;

// Category names as a user types them: the folder the recovery writes the
// category into, and the words of the category boxes.
struct CategoryName {
  std::string_view name;
  TypeBoxId box;
};
constexpr CategoryName kCategoryNames[] = {
    {"photo", TypeBoxId::kPhoto},     {"photos", TypeBoxId::kPhoto},
    {"picture", TypeBoxId::kPhoto},   {"audio", TypeBoxId::kAudio},
    {"music", TypeBoxId::kAudio},     {"video", TypeBoxId::kVideo},
    {"document", TypeBoxId::kOffice}, {"documents", TypeBoxId::kOffice},
    {"office", TypeBoxId::kOffice},   {"archive", TypeBoxId::kZip},
    {"archives", TypeBoxId::kZip},    {"zip", TypeBoxId::kZip},
    {"other", TypeBoxId::kOther},     {"others", TypeBoxId::kOther},
};

const TypeBox* CategoryNamed(std::string_view name) {
  for (const CategoryName& category : kCategoryNames) {
    if (category.name == name) return &catalogue::BoxOf(category.box);
  }
  return nullptr;
}

const TypeOption* OptionCarrying(std::string_view extension) {
  for (const TypeBox& box : TypeBoxes()) {
    for (const TypeOption& option : box.options) {
      bool carries = false;
      catalogue::ForEachExtension(
          option, [&](std::string_view piece) { carries = carries || piece == extension; });
      if (carries) return &option;
    }
  }
  return nullptr;
}

ScanMode ModeNamed(const std::string& name) {
  if (name == "quick") return ScanMode::kQuick;
  if (name == "formatted") return ScanMode::kFormatted;
  if (name == "deep") return ScanMode::kDeep;
  return ScanMode::kAutomatic;
}

struct ProgressState {
  ProgressDisplay display;
  bool interrupted = false;
  // Whether the engine counts the files its search will list; those the
  // parts scanned before found are added, as their files join the list.
  bool counts_listed = false;
  uint64_t files_before = 0;
  uint64_t files_found = 0;
};

int32_t OnScanProgress(void* user, int32_t progress, int32_t scale, int32_t remaining_seconds,
                       uint64_t sectors_done, uint64_t sectors_total, uint64_t records_found,
                       int32_t /*reserved*/) {
  auto* state = static_cast<ProgressState*>(user);
  if (InterruptRequested()) {
    state->interrupted = true;
    return kCancelCode;
  }
  const int64_t percentage = int64_t{progress} * scale / 100;
  state->files_found = records_found;
  const int64_t files =
      state->counts_listed ? static_cast<int64_t>(state->files_before + records_found) : -1;
  state->display.Update(static_cast<int32_t>(percentage), sectors_done, sectors_total,
                        remaining_seconds, files);
  return 0;
}

int32_t OnSearchProgress(void* user, int32_t /*percent*/, int32_t /*reserved*/) {
  if (!InterruptRequested()) return 0;
  static_cast<ProgressState*>(user)->interrupted = true;
  return kCancelCode;
}

bool IsImage(const SourceArgument& source) {
  return source.kind == SourceArgument::Kind::kImageFile;
}

FileSystemType ProbePart(const SourceArgument& source, const MediumPartition& part) {
  return IsImage(source) ? ProbeImageType(source.path, part.first_sector)
                         : ProbePartitionType(source.disk_number, part.first_sector);
}

bool QuickModeFor(ScanMode mode, FileSystemType type) {
  if (mode != ScanMode::kAutomatic) return mode == ScanMode::kQuick;
  return type != FileSystemType::kOther;
}

// Drops the saved history entries of the part with their folders, so that
// the driver starts a new scan instead of continuing one.
void ForgetSavedScans(ScanHistory& history, const SourceArgument& source,
                      const MediumPartition& part) {
  const uint32_t disk_number = IsImage(source) ? kImageDiskNumber : source.disk_number;
  const std::string image_path = IsImage(source) ? source.path.string() : std::string();
  std::vector<std::string> folders;
  for (const HistoryEntry& entry : history.entries()) {
    if (entry.disk_number == disk_number && entry.image_path == image_path &&
        entry.start_sector == part.first_sector && entry.sector_count == part.sector_count) {
      folders.push_back(entry.folder);
    }
  }
  for (const std::string& folder : folders) {
    if (ErrorCode rc = history.RemoveFolder(folder); !rc.ok()) {
      std::fprintf(stderr, "vexlo-recover: cannot delete the saved scan in %s: %s\n",
                   folder.c_str(), platform::SystemMessage(rc).c_str());
    }
  }
}

std::unique_ptr<IFileRecoveryParse> CreateEngine(ScanHistory& history, const SourceArgument& source,
                                                 const MediumPartition& part, uint16_t source_id,
                                                 int32_t mode) {
  return IsImage(source) ? CreateEngineForImage(history, source.path, part.first_sector,
                                                part.sector_count, source_id, mode)
                         : CreateEngineForPartition(history, source.disk_number, part.first_sector,
                                                    part.sector_count, source_id, mode);
}

// "FAT32 \"CARD\", 48.0 MiB" for the line that introduces a part.
std::string PartDescription(const MediumPartition& part, uint32_t sector_bytes) {
  std::string text = part.file_system.empty() ? "no known file system" : part.file_system;
  if (!part.label.empty()) text += " \"" + part.label + "\"";
  return text + ", " + SizeText(part.sector_count * sector_bytes);
}

}  // namespace

bool BuildTypePattern(std::string_view list, std::string* pattern, std::string* error) {
  ExtensionSelection selection;
  if (list.empty()) {
    *pattern = selection.BuildSearchPattern();
    return true;
  }
  for (const TypeBox& box : TypeBoxes()) selection.SelectCategory(box.id, false);
  for (;;) {
    const std::size_t comma = list.find(',');
    std::string item = platform::ToLowerAscii(list.substr(0, comma));
    if (item.starts_with("*.")) item.erase(0, 2);
    if (item.starts_with('.')) item.erase(0, 1);
    if (item.empty()) {
      *error = "an empty item in the list";
      return false;
    }
    if (const TypeBox* box = CategoryNamed(item)) {
      selection.SelectCategory(box->id, true);
    } else if (const TypeOption* option = OptionCarrying(item)) {
      selection.SelectOption(*option, true);
    } else {
      *error = "unknown file type '" + item +
               "' (an extension such as jpg, or photo, audio, video, document, "
               "archive, other)";
      return false;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  *pattern = selection.BuildSearchPattern();
  return true;
}

void AddScanRequestOptions(CLI::App& command, ScanRequestWords* words) {
  command
      .add_option("--mode", words->mode,
                  "quick reads the file system, formatted and deep also search every sector "
                  "for files by their contents (default: quick where a known file system is "
                  "found, deep otherwise)")
      ->type_name("MODE")
      ->check(CLI::IsMember({"quick", "formatted", "deep"}));
  command
      .add_option("--types", words->types,
                  "comma-separated categories (photo, audio, video, document, archive, other) "
                  "or extensions (jpg, mp4...) to look for (default: every type)")
      ->type_name("LIST")
      ->check([](const std::string& list) {
        if (list.empty()) return std::string("needs a list of types");
        std::string pattern, error;
        return BuildTypePattern(list, &pattern, &error) ? std::string() : error;
      });
  AddFlag(command, "--fresh", &words->fresh,
          "start a new scan instead of continuing the saved one of the same source");
}

ScanRequest ReadScanRequest(const ScanRequestWords& words) {
  ScanRequest request;
  request.mode = ModeNamed(words.mode);
  request.fresh = words.fresh;
  std::string error;
  // The parser checked the list already.
  (void)BuildTypePattern(words.types, &request.type_pattern, &error);
  return request;
}

ScanSession::~ScanSession() {
  // The record files go with their engines, which must let go of them first.
  parts_.clear();
  for (const std::filesystem::path& folder : quick_log_folders_) {
    (void)history_.RemoveFolder(folder);
  }
}

IFileRecoveryParse* ScanSession::EngineOf(uint16_t source_id) const {
  const Part* part = PartOf(source_id);
  return part != nullptr ? part->engine.get() : nullptr;
}

const ScanSession::Part* ScanSession::PartOf(uint16_t source_id) const {
  for (const Part& part : parts_) {
    if (part.source_id == source_id) return &part;
  }
  return nullptr;
}

std::string ScanSession::FolderPathOf(const FoundFileRecord& record) const {
  std::string path;
  IFileRecoveryParse* engine = EngineOf(record.source_id);
  if (engine == nullptr || !engine->GetFullPath(record, &path).ok()) path.clear();
  return path;
}

int ScanSession::Run(const SourceArgument& source, std::string_view source_name,
                     const ScanRequest& request) {
  const std::string name(source_name);
  DiskHandle disk;
  if (ErrorCode rc = OpenSourceMedium(source, &disk); !rc.ok()) {
    return SourceFailure(source, name, rc);
  }
  sector_bytes_ = disk.device_sector_bytes;
  CloseDiskHandle(disk);
  std::vector<MediumPartition> partitions;
  if (ErrorCode rc = ScanParts(source, &partitions); !rc.ok()) {
    return SourceFailure(source, name, rc);
  }

  InstallInterruptHandler();
  const bool several = partitions.size() > 1;
  const std::string medium = IsImage(source) ? name : source.path.string();
  const uint16_t first_id = IsImage(source) ? kFirstImageSourceId : kFirstDiskSourceId;
  for (std::size_t i = 0; i < partitions.size(); ++i) {
    Part part{partitions[i], several ? medium + ":" + std::to_string(partitions[i].number) : name,
              PartDescription(partitions[i], sector_bytes_), static_cast<uint16_t>(first_id + i),
              nullptr};
    if (several) {
      std::fprintf(stderr, "vexlo-recover: %s (%s)\n", part.name.c_str(), part.description.c_str());
    }
    const int status = ScanPart(source, request, &part);
    if (status == kExitCancelled) return CancelledStatus();
    if (status != kExitSuccess) {
      ++failed_parts_;
      continue;
    }
    parts_.push_back(std::move(part));
  }
  if (parts_.empty()) return kExitFailure;

  ProgressState state{ProgressDisplay("search")};
  for (Part& part : parts_) {
    IFileRecoveryParse& engine = *part.engine;
    (void)engine.SetSearchCallback(&OnSearchProgress, &state);
    const ErrorCode rc =
        GuardedCall([&] { return engine.FindFiles(request.type_pattern, &files_); });
    if (rc == kCancelCode || state.interrupted) {
      std::fputs("vexlo-recover: cancelled.\n", stderr);
      return CancelledStatus();
    }
    if (!rc.ok()) return Failure("searching the scan of " + part.name + " failed", rc);
  }
  return kExitSuccess;
}

int ScanSession::ScanPart(const SourceArgument& source, const ScanRequest& request, Part* part) {
  const MediumPartition& partition = part->partition;
  const std::string& name = part->name;
  if (partition.sector_count == 0) {
    std::fprintf(stderr,
                 "vexlo-recover: %s is too small to scan: it does not hold one whole sector.\n",
                 name.c_str());
    return kExitFailure;
  }
  const bool quick = QuickModeFor(request.mode, ProbePart(source, partition));
  if (request.fresh) ForgetSavedScans(history_, source, partition);
  if (quick) {
    // The driver chooses between a new and a continued folder itself.
    history_.BeginNewScan();
    quick_log_folders_.push_back(history_.CurrentFolder());
  }
  part->engine = CreateEngine(history_, source, partition, part->source_id,
                              quick ? kQuickScanMode : kFormattedScanMode);
  if (!part->engine) {
    // Under 16 KiB no file system fits, but the sectors can still be carved.
    if (quick && partition.sector_count * sector_bytes_ < kProbeBytes) {
      std::fprintf(stderr,
                   "vexlo-recover: %s is too small for a file system (under 16 KiB); try --mode "
                   "deep\n",
                   name.c_str());
    } else if (quick) {
      std::fprintf(stderr,
                   "vexlo-recover: %s holds no FAT, NTFS, exFAT or ext file system for a quick "
                   "scan; try --mode deep\n",
                   name.c_str());
    } else {
      std::fprintf(stderr, "vexlo-recover: the start of %s cannot be read.\n", name.c_str());
    }
    return kExitFailure;
  }

  ProgressState state{ProgressDisplay(quick ? "scan" : "deep scan")};
  IFileRecoveryParse& engine = *part->engine;
  state.counts_listed = CountListedFiles(engine, request.type_pattern, request.chosen);
  state.files_before = files_listed_;
  (void)engine.SetProgressCallbacks(&OnScanProgress, nullptr, &state, 100);
  ErrorCode rc = GuardedCall([&] { return engine.Scan(nullptr); });
  state.display.Finish();
  if (state.counts_listed) files_listed_ += state.files_found;
  if (rc == kCancelCode || (state.interrupted && !rc.ok())) {
    std::fprintf(stderr,
                 quick ? "vexlo-recover: scan of %s cancelled.\n"
                       : "vexlo-recover: scan of %s cancelled; run the same command "
                         "again to continue it.\n",
                 name.c_str());
    return kExitCancelled;
  }
  const auto* driver = dynamic_cast<const CProfessionalRecovery*>(&engine);
  if (rc == err::kNotReady && driver != nullptr) {
    Failure("scanning " + name + " failed", rc);
    std::fputs(
        "vexlo-recover: the medium stopped answering (was it taken out?); once it is back, run "
        "the same command again to continue the scan.\n",
        stderr);
    return kExitFailure;
  }
  if (!rc.ok()) return Failure("scanning " + name + " failed", rc);
  if (driver != nullptr) {
    if (driver->continued_scan()) {
      std::fprintf(stderr,
                   "vexlo-recover: continued the saved scan of %s (--fresh starts a new one).\n",
                   name.c_str());
    }
    if (driver->carving_skipped()) {
      std::fprintf(stderr,
                   "vexlo-recover: the sectors of %s hold %u bytes, more than the %u in which "
                   "files are recognised by their contents: only what a file system still "
                   "describes was found.\n",
                   name.c_str(), sector_bytes_, carving::kMaxCarvingSectorBytes);
    }
    const uint64_t unreadable = driver->unreadable_sectors();
    unreadable_sectors_ += unreadable;
    if (unreadable > 0) {
      std::fprintf(stderr, "vexlo-recover: %s unreadable sector%s skipped.\n",
                   catalogue::GroupedNumber(unreadable).c_str(),
                   unreadable == 1 ? " was" : "s were");
    }
  }
  return kExitSuccess;
}

}  // namespace vexlo::cli
