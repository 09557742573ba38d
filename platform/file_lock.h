// An exclusive advisory lock (flock) on a lock file of the program's own,
// held from construction until the object goes.
//
// Two runs of the program (the command-line tool beside the window) share
// the scan history; each read-modify-write of it runs under this lock so
// that neither writes back a history that misses the other's entries. The
// lock belongs to the open file, not to the process: two objects in one
// process exclude each other as two processes do. A lock file that cannot be
// opened leaves the object unlocked (held() false): a history that works
// without the lock beats one that does not work at all.
#pragma once

#include <filesystem>

#include "platform/error_code.h"

namespace vexlo::platform {

class ExclusiveFileLock {
 public:
  // Creates `lock_path` when missing and waits until the lock is ours.
  explicit ExclusiveFileLock(const std::filesystem::path& lock_path);
  ~ExclusiveFileLock();
  ExclusiveFileLock(ExclusiveFileLock&& other) noexcept;
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(ExclusiveFileLock&&) = delete;

  bool held() const { return fd_ >= 0; }
  // Why the lock is not held; 0 when it is.
  ErrorCode error() const { return error_; }

 private:
  int fd_ = -1;
  ErrorCode error_ = err::kSuccess;
};

}  // namespace vexlo::platform
