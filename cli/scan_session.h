// What `scan` and `recover` share: the options --mode, --types and --fresh,
// opening an engine for each part of the SOURCE (each partition of a whole
// image or disk), and running the scans and the type search with progress on
// stderr and Ctrl-C as cancel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/source_argument.h"
#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/record_filter.h"
#include "engine/scan_history.h"
#include "platform/non_copyable.h"
#include "storage/medium_layout.h"

namespace vexlo::cli {

// Source identifiers of the parts, one per part in order from these on.
// Records are routed to engines by them, so an image's never meet a disk's.
inline constexpr uint16_t kFirstDiskSourceId = 1;
inline constexpr uint16_t kFirstImageSourceId = 0x8000;

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
  // The files the command keeps of those found, which the running count
  // follows where the engines can tell them while scanning; where they
  // cannot, the progress shows no count rather than one the list ends
  // without.
  RecordFilter chosen;
};

// The options that select what is scanned and searched for, as typed.
struct ScanRequestWords {
  std::string mode;   // empty for the automatic choice
  std::string types;  // empty for every type
  bool fresh = false;
};

// Declares --mode, --types and --fresh on `command`, which writes them into
// *words while parsing; an unknown mode or file type is a usage error there.
void AddScanRequestOptions(CLI::App& command, ScanRequestWords* words);

// The request of words the parser accepted.
ScanRequest ReadScanRequest(const ScanRequestWords& words);

// The search pattern of a --types list ("jpg,png", "photo,document",
// "other"), built as the file-type page builds it: a category switches its
// whole box on, an extension the option that carries it. Without a list
// every type is looked for, other files included. False with *error for an
// empty item or a name that is neither a category nor a known extension.
bool BuildTypePattern(std::string_view list, std::string* pattern, std::string* error);

// The scans of a source: one engine per part that could be scanned, and what
// the search found in all of them. Quick scans keep their record files only
// as long as the session: they are of no use once the engines are gone.
class ScanSession : NonCopyable {
 public:
  struct Part {
    MediumPartition partition;
    std::string name;         // "card.img:2", or the source's name when it is the only part
    std::string description;  // "FAT32 \"CARD\", 48.0 MiB"
    uint16_t source_id = 0;
    std::unique_ptr<IFileRecoveryParse> engine;
  };

  // The scans' logs go into `history`, which must outlive the session.
  explicit ScanSession(ScanHistory& history) : history_(history) {}
  ~ScanSession();

  const std::vector<Part>& parts() const { return parts_; }
  std::vector<FoundFileRecord>& files() { return files_; }
  // Parts that could not be scanned; their problems were reported.
  std::size_t failed_parts() const { return failed_parts_; }
  // Sectors the deep scans could not read and passed over (0 after quick
  // scans, which read no such stretch).
  uint64_t unreadable_sectors() const { return unreadable_sectors_; }
  // The engine that answers for a record; null for an unknown source.
  IFileRecoveryParse* EngineOf(uint16_t source_id) const;
  // The part a record came from; null for an unknown source.
  const Part* PartOf(uint16_t source_id) const;
  // The record's folders as GetFullPath gives them ("DCIM/100CANON/"); empty
  // in the root and when its engine cannot tell.
  std::string FolderPathOf(const FoundFileRecord& record) const;

  // Scans and searches every part of `source`. Returns kExitSuccess when at
  // least one part was scanned (failed_parts() tells of the others), else
  // the exit status after the failure or the cancellation was reported.
  // Unreadable sectors that a scan passed over are told on stderr.
  int Run(const SourceArgument& source, std::string_view source_name, const ScanRequest& request);

 private:
  // kExitSuccess, kExitFailure for a part that could not be scanned (told
  // on stderr), or kExitCancelled.
  int ScanPart(const SourceArgument& source, const ScanRequest& request, Part* part);

  ScanHistory& history_;
  std::vector<Part> parts_;
  std::vector<FoundFileRecord> files_;
  uint32_t sector_bytes_ = 512;  // of the medium
  std::size_t failed_parts_ = 0;
  uint64_t unreadable_sectors_ = 0;
  // Files the parts scanned so far will add to the list, as their engines
  // last reported.
  uint64_t files_listed_ = 0;
  std::vector<std::filesystem::path> quick_log_folders_;
};

}  // namespace vexlo::cli
