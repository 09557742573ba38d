#include "cli/scan_session.h"

#include <cstdio>
#include <system_error>

#include "catalogue/display_format.h"
#include "catalogue/extension_selection.h"
#include "catalogue/type_options.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "engine/guarded_call.h"
#include "engine/history_entry.h"
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

bool ReadMode(const std::string* text, ScanMode* mode, std::string* error) {
  if (text == nullptr) {
    *mode = ScanMode::kAutomatic;
  } else if (*text == "quick") {
    *mode = ScanMode::kQuick;
  } else if (*text == "formatted") {
    *mode = ScanMode::kFormatted;
  } else if (*text == "deep") {
    *mode = ScanMode::kDeep;
  } else {
    *error = "unknown mode '" + *text + "' (quick, formatted or deep)";
    return false;
  }
  return true;
}

struct ProgressState {
  ProgressDisplay display;
  bool interrupted = false;
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
  state->display.Update(static_cast<int32_t>(percentage), sectors_done, sectors_total,
                        remaining_seconds, static_cast<int64_t>(records_found));
  return 0;
}

int32_t OnSearchProgress(void* user, int32_t /*percent*/, int32_t /*reserved*/) {
  if (!InterruptRequested()) return 0;
  static_cast<ProgressState*>(user)->interrupted = true;
  return kCancelCode;
}

FileSystemType ProbeSource(const SourceArgument& source) {
  return source.kind == SourceArgument::Kind::kImageFile
             ? ProbeImageType(source.path)
             : ProbePartitionType(source.disk_number, source.first_sector);
}

bool QuickModeFor(ScanMode mode, FileSystemType type) {
  if (mode != ScanMode::kAutomatic) return mode == ScanMode::kQuick;
  return type != FileSystemType::kOther;
}

// Drops the saved history entries of the source with their folders, so that
// the driver starts a new scan instead of continuing one.
void ForgetSavedScans(ScanHistory& history, const SourceArgument& source) {
  std::vector<std::string> folders;
  for (const HistoryEntry& entry : history.entries()) {
    const bool same =
        source.kind == SourceArgument::Kind::kImageFile
            ? entry.disk_number == kImageDiskNumber && entry.image_path == source.path.string()
            : entry.disk_number == source.disk_number &&
                  entry.start_sector == source.first_sector &&
                  entry.sector_count == source.sector_count;
    if (same) folders.push_back(entry.folder);
  }
  for (const std::string& folder : folders) {
    if (ErrorCode rc = history.RemoveFolder(folder); !rc.ok()) {
      std::fprintf(stderr, "vexlo-recover: cannot delete the saved scan in %s: %s\n",
                   folder.c_str(), platform::SystemMessage(rc).c_str());
    }
  }
}

// Opens the source once for the clear reason the factory cannot give when
// it fails (missing, no permission ...).
ErrorCode TryOpen(const SourceArgument& source) {
  DiskHandle disk;
  const ErrorCode rc = source.kind == SourceArgument::Kind::kImageFile
                           ? OpenImageFile(source.path, &disk)
                           : OpenPhysicalDisk(source.disk_number, &disk);
  CloseDiskHandle(disk);
  return rc;
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
      *error = "--types has an empty item";
      return false;
    }
    if (const TypeBox* box = CategoryNamed(item)) {
      selection.SelectCategory(box->id, true);
    } else if (const TypeOption* option = OptionCarrying(item)) {
      selection.SelectOption(*option, true);
    } else {
      *error = "unknown file type '" + item +
               "' in --types (an extension such as jpg, or photo, audio, video, document, "
               "archive, other)";
      return false;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  *pattern = selection.BuildSearchPattern();
  return true;
}

bool ReadScanRequest(const ParsedArguments& args, ScanRequest* request, std::string* error) {
  if (!ReadMode(args.Value(kModeOption.name), &request->mode, error)) return false;
  const std::string* types = args.Value(kTypesOption.name);
  if (types != nullptr && types->empty()) {
    *error = "--types needs a list of types";
    return false;
  }
  request->fresh = args.Has(kFreshOption.name);
  return BuildTypePattern(types == nullptr ? std::string_view{} : *types, &request->type_pattern,
                          error);
}

int ResolveSource(std::string_view text, SourceArgument* source, std::string* name) {
  ErrorCode code;
  switch (ResolveSourceArgument(text, {}, source, &code, name)) {
    case SourceStatus::kBadSyntax:
      return UsageError(*name);
    case SourceStatus::kFailed:
      return Failure(*name, code);
    case SourceStatus::kResolved:
      break;
  }
  if (source->kind == SourceArgument::Kind::kImageFile) {
    // The history knows an image by its path: the same file must give the
    // same path from whichever folder the tool runs.
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::weakly_canonical(source->path, ec);
    if (!ec) source->path = std::move(absolute);
  }
  return kExitSuccess;
}

int RunScanSession(ScanHistory& history, const SourceArgument& source, std::string_view source_name,
                   const ScanRequest& request, ScanSession* session) {
  const std::string name(source_name);
  if (ErrorCode rc = TryOpen(source); !rc.ok()) return Failure(name, rc);

  const bool quick = QuickModeFor(request.mode, ProbeSource(source));
  if (request.fresh) ForgetSavedScans(history, source);
  // The driver chooses between a new and a continued folder itself.
  if (quick) history.BeginNewScan();
  const int32_t mode = quick ? kQuickScanMode : kFormattedScanMode;
  session->engine = source.kind == SourceArgument::Kind::kImageFile
                        ? CreateEngineForImage(history, source.path, kCliSourceId, mode)
                        : CreateEngineForPartition(history, source.disk_number, source.first_sector,
                                                   source.sector_count, kCliSourceId, mode);
  if (!session->engine && !quick) {
    return Failure(name + " cannot be read for a deep scan", err::kReadFault);
  }
  if (!session->engine) {
    std::fprintf(stderr,
                 "vexlo-recover: %s holds no FAT, NTFS, exFAT or ext file system for a quick "
                 "scan; try --mode deep\n",
                 name.c_str());
    return kExitFailure;
  }

  InstallInterruptHandler();
  ProgressState state{ProgressDisplay(quick ? "scan" : "deep scan")};
  IFileRecoveryParse& engine = *session->engine;
  (void)engine.SetProgressCallbacks(&OnScanProgress, nullptr, &state, 100);
  ErrorCode rc = GuardedCall([&] { return engine.Scan(nullptr); });
  state.display.Finish();
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
  if (driver != nullptr && driver->continued_scan()) {
    std::fprintf(stderr,
                 "vexlo-recover: continued the saved scan of %s (--fresh starts a new one).\n",
                 name.c_str());
  }
  if (driver != nullptr) session->unreadable_sectors = driver->unreadable_sectors();
  if (session->unreadable_sectors > 0) {
    std::fprintf(stderr, "vexlo-recover: %s unreadable sector%s skipped.\n",
                 catalogue::GroupedNumber(session->unreadable_sectors).c_str(),
                 session->unreadable_sectors == 1 ? " was" : "s were");
  }

  (void)engine.SetSearchCallback(&OnSearchProgress, &state);
  rc = GuardedCall([&] { return engine.FindFiles(request.type_pattern, &session->files); });
  if (rc == kCancelCode || state.interrupted) {
    std::fputs("vexlo-recover: cancelled.\n", stderr);
    return kExitCancelled;
  }
  if (!rc.ok()) return Failure("searching the scan of " + name + " failed", rc);
  return kExitSuccess;
}

}  // namespace vexlo::cli
