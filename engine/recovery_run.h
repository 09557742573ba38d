// One recovery run: writes the selected records into the destination folder
// the user chose, each through the engine that found it.
//
// For every record, in the order given: the engine whose source identifier
// equals the record's `source_id` is asked to write it to
// <root>/<category>/<name>, or, keeping the medium's folders, to
// <root>/<source name>/<folder path>/<name> (KeptFolderPath); either is made
// unique with "(n)". Keeping the times, each written file gets its record's
// access and modification times, and each folder made for kept folders its
// folder record's times once everything is written (writing into a folder
// changes its time). Each file's outcome is independent: a failed file is
// counted and reported through the progress callback, and the run goes on.
// Only the cancel code, answered by the progress callback, ends a run early.
// Both front ends (GUI and command line) drive recoveries through this class.
//
// What every record became (destination, bytes written, their hashes, the
// medium's byte runs they came from, or the failure) is kept for the run's
// report (catalogue/recovery_report.h), observed while the bytes were
// written (engine/copy_trace.h).
//
// Threading: runs in the caller's thread (the recovery worker); the callback
// is called from that thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/copy_trace.h"
#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/record_output.h"
#include "engine/recovered_file_path.h"

namespace vexlo {

// A scanned source and the engine of its last scan (not owned). `name`
// ("card.img:1") names the source's folder when folders are kept, and the
// source in the report.
struct RecoverySource {
  RecoverySource(uint16_t id, IFileRecoveryParse* recovery_engine, std::string source_name = {})
      : source_id(id), engine(recovery_engine), name(std::move(source_name)) {}

  uint16_t source_id;
  IFileRecoveryParse* engine;
  std::string name;
};

struct RecoveryOptions {
  // <root>/<source>/<folder path>/<name> instead of <root>/<category>/<name>.
  bool keep_folders = false;
  // Files (and with keep_folders their folders) get the records' times.
  bool keep_times = false;
};

// What became of one selected record, or of one file below a selected
// folder.
struct RecoveryOutcome {
  FoundFileRecord record = EmptyRecord();
  std::string source_name;
  // The record's folders and name on the medium ("DCIM/100CANON/IMG_1.JPG").
  std::string original_path;
  // Destination, bytes, hashes and runs; no destination when nothing was
  // written.
  TracedFile written;
  ErrorCode result = err::kSuccess;
  // The counts of a copy cut short (result 38).
  ShortCopy short_copy;
};

class RecoveryRun {
 public:
  // `callback` gets every engine's per-file progress and results; it may be
  // null. `user` is passed through to it.
  RecoveryRun(std::vector<RecoverySource> sources, std::filesystem::path destination_root,
              RecoveryProgressCallback callback, void* user, RecoveryOptions options = {});

  // Writes `records`; returns 0 when every record was tried, kCancelCode when
  // the run was cancelled, or the error of an engine that refused its
  // progress callbacks.
  ErrorCode Run(std::span<const FoundFileRecord> records);

  uint64_t files_to_write() const { return files_to_write_; }
  uint64_t finished() const { return finished_; }
  uint64_t failed() const { return failed_; }
  // Finished without error.
  uint64_t written() const { return finished_ - failed_; }

  // One outcome per record tried (a folder: one per file written below it),
  // in order.
  const std::vector<RecoveryOutcome>& outcomes() const { return outcomes_; }
  // When the last Run began and ended, as FILETIME.
  uint64_t started() const { return started_; }
  uint64_t ended() const { return ended_; }
  const std::vector<RecoverySource>& sources() const { return sources_; }

 private:
  const RecoverySource* SourceFor(uint16_t source_id) const;
  std::filesystem::path DestinationOf(const RecoverySource* source, const FoundFileRecord& record,
                                      const std::string& folder_path);
  // The record's result; *run_end becomes the cancel code, or the error of
  // an engine that refused its callbacks, when the run must end.
  ErrorCode RecoverOne(const RecoverySource* source, const FoundFileRecord& record,
                       uint32_t separators, ErrorCode* run_end);
  // Gives the folders made for kept folders their records' times.
  void DateFolders();

  std::vector<RecoverySource> sources_;
  std::filesystem::path root_;
  RecoveryProgressCallback callback_;
  void* user_;
  RecoveryOptions options_;
  UniqueNames names_;
  uint64_t files_to_write_ = 0;
  uint64_t finished_ = 0;
  uint64_t failed_ = 0;
  std::vector<RecoveryOutcome> outcomes_;
  uint64_t started_ = 0;
  uint64_t ended_ = 0;
  // Folders made for kept folders: destination -> (source, folder path on
  // the medium).
  std::map<std::filesystem::path, std::pair<uint16_t, std::string>> made_folders_;
};

}  // namespace vexlo
