#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vexlo::platform {

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& lock_path) {
  int fd;
  do {
    fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = LastErrorCode();
    return;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    error_ = LastErrorCode();
    ::close(fd);
    return;
  }
  fd_ = fd;
}

ExclusiveFileLock::ExclusiveFileLock(ExclusiveFileLock&& other) noexcept
    : fd_(other.fd_), error_(other.error_) {
  other.fd_ = -1;
}

ExclusiveFileLock::~ExclusiveFileLock() {
  // Closing the only descriptor of the open file releases its lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace vexlo::platform
