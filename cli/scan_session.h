// What `scan` and `recover` share: reading --mode, --types and --fresh,
// opening the engine for the SOURCE, and running its scan and the type
// search with progress on stderr and Ctrl-C as cancel.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/source_argument.h"
#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/scan_history.h"

namespace vexlo::cli {

// The options that select what is scanned and searched for.
inline constexpr CommandOption kModeOption{"--mode", true};
inline constexpr CommandOption kTypesOption{"--types", true};
inline constexpr CommandOption kFreshOption{"--fresh", false};

// The source identifier the command line opens its one source with.
inline constexpr uint16_t kCliSourceId = 1;

enum class ScanMode {
  kAutomatic,  // quick on FAT, NTFS, exFAT and ext; deep otherwise
  kQuick,
  kFormatted,
  kDeep,
};

struct ScanRequest {
  ScanMode mode = ScanMode::kAutomatic;
  std::string type_pattern;  // the engines' type filter
  bool fresh = false;
};

// The request the options of `args` ask for; false with *error for a usage
// error (an unknown mode or file type).
bool ReadScanRequest(const ParsedArguments& args, ScanRequest* request, std::string* error);

// The search pattern of a --types list ("jpg,png", "photo,document",
// "other"), built as the file-type page builds it: a category switches its
// whole box on, an extension the option that carries it. Without a list
// every type is looked for, other files included. False with *error for an
// empty item or a name that is neither a category nor a known extension.
bool BuildTypePattern(std::string_view list, std::string* pattern, std::string* error);

// Resolves a SOURCE argument; returns kExitSuccess, or the exit status
// after the problem was reported. *name names the source in messages.
int ResolveSource(std::string_view text, SourceArgument* source, std::string* name);

// A finished scan: the engine that answers for the found files.
struct ScanSession {
  std::unique_ptr<IFileRecoveryParse> engine;
  std::vector<FoundFileRecord> files;
  // Sectors the deep scan could not read and passed over (0 for a quick
  // scan, which reads no such stretch).
  uint64_t unreadable_sectors = 0;
};

// Creates the engine for `source`, scans and searches, keeping the scan's
// logs in `history` (which must outlive the session's engine). Returns
// kExitSuccess with `session` filled, or the exit status after the failure
// or the cancellation was reported on stderr. Unreadable sectors that the
// scan passed over are told on stderr.
int RunScanSession(ScanHistory& history, const SourceArgument& source, std::string_view source_name,
                   const ScanRequest& request, ScanSession* session);

}  // namespace vexlo::cli
