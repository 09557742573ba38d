#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/filetime.h"

namespace vexlo::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

ErrorCode File::Open(const std::filesystem::path& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kReadOnly:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kReadWriteCreate:
      flags |= O_RDWR | O_CREAT;
      break;
    case Mode::kCreateTruncate:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return LastErrorCode();
  // Only regular files are ever written: a destination that names a disk or
  // a partition (typed by hand, or a link in the destination folder) could be
  // the very medium being recovered.
  struct stat status {};
  if (mode != Mode::kReadOnly && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
    ::close(fd);
    return err::kAccessDenied;
  }
  fd_ = fd;
  return err::kSuccess;
}

void File::Close() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

ErrorCode File::ReadAt(uint64_t offset, std::span<uint8_t> data, std::size_t* bytes_read) {
  *bytes_read = 0;
  if (fd_ < 0) return err::kInvalidParameter;
  while (*bytes_read < data.size()) {
    ssize_t n = ::pread(fd_, data.data() + *bytes_read, data.size() - *bytes_read,
                        static_cast<off_t>(offset + *bytes_read));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastErrorCode();
    }
    if (n == 0) break;
    *bytes_read += static_cast<std::size_t>(n);
  }
  return err::kSuccess;
}

ErrorCode File::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  if (fd_ < 0) return err::kInvalidParameter;
  std::size_t written = 0;
  while (written < data.size()) {
    ssize_t n = ::pwrite(fd_, data.data() + written, data.size() - written,
                         static_cast<off_t>(offset + written));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == ENOSPC ? ErrorCode(err::kDiskFull) : ErrorCode(err::kWriteFault);
    }
    if (n == 0) return err::kWriteFault;
    written += static_cast<std::size_t>(n);
  }
  return err::kSuccess;
}

ErrorCode File::Size(uint64_t* size_bytes) const {
  *size_bytes = 0;
  struct stat st {};
  if (fd_ < 0) return err::kInvalidParameter;
  if (::fstat(fd_, &st) != 0) return LastErrorCode();
  *size_bytes = static_cast<uint64_t>(st.st_size);
  return err::kSuccess;
}

ErrorCode File::Truncate(uint64_t size_bytes) {
  if (fd_ < 0) return err::kInvalidParameter;
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(size_bytes));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? ErrorCode(err::kSuccess) : LastErrorCode();
}

ErrorCode File::Sync() {
  if (fd_ < 0) return err::kInvalidParameter;
  return ::fsync(fd_) == 0 ? ErrorCode(err::kSuccess) : LastErrorCode();
}

std::filesystem::path ReplacementPath(const std::filesystem::path& path) {
  return std::filesystem::path(path.string() + ".tmp");
}

ErrorCode ReplaceFile(const std::filesystem::path& path, std::span<const uint8_t> contents) {
  const std::filesystem::path temporary = ReplacementPath(path);
  {
    File file;
    if (ErrorCode rc = file.Open(temporary, File::Mode::kCreateTruncate); !rc.ok()) return rc;
    if (ErrorCode rc = file.WriteAt(0, contents); !rc.ok()) return rc;
    // The rename must not reach the disk before the data it publishes.
    if (ErrorCode rc = file.Sync(); !rc.ok()) return rc;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) return FromErrno(ec.value());
  File folder;
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : ".";
  if (folder.Open(parent, File::Mode::kReadOnly).ok()) (void)folder.Sync();
  return err::kSuccess;
}

ErrorCode ReadWholeFile(const std::filesystem::path& path, std::string* contents) {
  contents->clear();
  File file;
  if (ErrorCode rc = file.Open(path, File::Mode::kReadOnly); !rc.ok()) return rc;
  uint64_t size = 0;
  if (ErrorCode rc = file.Size(&size); !rc.ok()) return rc;
  contents->resize(size);
  std::size_t got = 0;
  ErrorCode rc = file.ReadAt(
      0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(contents->data()), contents->size()), &got);
  contents->resize(got);
  return rc;
}

ErrorCode LastWriteFiletime(const std::filesystem::path& path, uint64_t* filetime) {
  *filetime = 0;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return LastErrorCode();
  *filetime = FiletimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return err::kSuccess;
}

namespace {

timespec TimespecOf(uint64_t filetime) {
  if (filetime == 0) return {0, UTIME_OMIT};
  const int64_t ticks = static_cast<int64_t>(filetime % kFiletimeTicksPerSecond);
  return {static_cast<time_t>(UnixSecondsFromFiletime(filetime)), static_cast<long>(ticks * 100)};
}

}  // namespace

ErrorCode SetFiletimes(const std::filesystem::path& path, uint64_t accessed, uint64_t modified) {
  const timespec times[2] = {TimespecOf(accessed), TimespecOf(modified)};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return LastErrorCode();
  return err::kSuccess;
}

}  // namespace vexlo::platform
