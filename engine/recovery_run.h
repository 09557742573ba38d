// One recovery run: writes the selected records into the destination folder
// the user chose, each through the engine that found it.
//
// For every record, in the order given: the engine whose source identifier
// equals the record's `source_id` is asked to write it to
// <root>/<category>/<name>, made unique with "(n)". Each file's outcome is
// independent: a failed file is counted and reported through the progress
// callback, and the run goes on. Only the cancel code, answered by the
// progress callback, ends a run early. Both front ends (GUI and command line)
// drive recoveries through this class.
//
// Threading: runs in the caller's thread (the recovery worker); the callback
// is called from that thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"

namespace vexlo {

// A scanned source and the engine of its last scan (not owned).
struct RecoverySource {
  uint16_t source_id;
  IFileRecoveryParse* engine;
};

class RecoveryRun {
 public:
  // `callback` gets every engine's per-file progress and results; it may be
  // null. `user` is passed through to it.
  RecoveryRun(std::vector<RecoverySource> sources, std::filesystem::path destination_root,
              RecoveryProgressCallback callback, void* user);

  // Writes `records`; returns 0 when every record was tried, kCancelCode when
  // the run was cancelled, or the error of an engine that refused its
  // progress callbacks.
  ErrorCode Run(std::span<const FoundFileRecord> records);

  uint64_t files_to_write() const { return files_to_write_; }
  uint64_t finished() const { return finished_; }
  uint64_t failed() const { return failed_; }
  // Finished without error.
  uint64_t written() const { return finished_ - failed_; }

 private:
  IFileRecoveryParse* EngineFor(uint16_t source_id) const;

  std::vector<RecoverySource> sources_;
  std::filesystem::path root_;
  RecoveryProgressCallback callback_;
  void* user_;
  uint64_t files_to_write_ = 0;
  uint64_t finished_ = 0;
  uint64_t failed_ = 0;
};

}  // namespace vexlo
