#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/non_copyable.h"
#include "platform/sector_source.h"
#include "platform/udisks.h"

namespace vexlo::platform {
namespace {

// A block device or a regular file, opened O_RDONLY: no code path can write
// to a source through it.
class DeviceSectorSource final : public SectorSource, NonCopyable {
 public:
  DeviceSectorSource(int fd, bool is_block, dev_t device)
      : fd_(fd), is_block_(is_block), device_(device) {}
  ~DeviceSectorSource() override { ::close(fd_); }

  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                   std::size_t* bytes_read) override {
    *bytes_read = 0;
    for (;;) {
      ssize_t n = ::pread(fd_, data.data(), data.size(), static_cast<off_t>(byte_offset));
      if (n >= 0) {
        last_read_errno_ = 0;
        *bytes_read = static_cast<std::size_t>(n);
        return err::kSuccess;
      }
      if (errno != EINTR) {
        last_read_errno_ = errno;
        return LastErrorCode();
      }
    }
  }

  ErrorCode LengthBytes(uint64_t* length_bytes) const override {
    *length_bytes = 0;
    if (is_block_) {
      uint64_t size = 0;
      if (::ioctl(fd_, BLKGETSIZE64, &size) != 0) return LastErrorCode();
      *length_bytes = size;
      return err::kSuccess;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return LastErrorCode();
    *length_bytes = static_cast<uint64_t>(st.st_size);
    return err::kSuccess;
  }

  ErrorCode Geometry(DeviceGeometry* geometry) const override {
    *geometry = DeviceGeometry{};
    geometry->valid = true;
    if (!is_block_) return err::kSuccess;
    int logical_sector = 0;
    if (::ioctl(fd_, BLKSSZGET, &logical_sector) == 0 && logical_sector > 0) {
      geometry->bytes_per_sector = static_cast<uint32_t>(logical_sector);
    }
    hd_geometry hd{};
    if (::ioctl(fd_, HDIO_GETGEO, &hd) == 0 && hd.heads != 0 && hd.sectors != 0) {
      geometry->tracks_per_cylinder = hd.heads;
      geometry->sectors_per_track = hd.sectors;
      geometry->cylinders = hd.cylinders;
    }
    // Drivers that do not answer HDIO_GETGEO (or answer with a truncated
    // 16-bit cylinder count) are described by their length instead.
    uint64_t length = 0;
    if (LengthBytes(&length).ok()) {
      const uint64_t sectors = length / geometry->bytes_per_sector;
      const uint64_t per_cylinder =
          uint64_t{geometry->tracks_per_cylinder} * geometry->sectors_per_track;
      if (per_cylinder == 0) {
        geometry->tracks_per_cylinder = 1;
        geometry->sectors_per_track = 1;
        geometry->cylinders = sectors;
      } else {
        geometry->cylinders = sectors / per_cylinder;
      }
    }
    return err::kSuccess;
  }

  bool is_block_device() const override { return is_block_; }

  bool Vanished() const override {
    switch (last_read_errno_) {
      case ENODEV:
      case ENXIO:
      case ENOMEDIUM:
      case ENOTCONN:
      case ESHUTDOWN:
        return true;
      default:
        break;
    }
    // A pulled USB reader often answers EIO only; its disk has then left
    // sysfs, while the open descriptor lives on.
    if (!is_block_) return false;
    const std::string node =
        "/sys/dev/block/" + std::to_string(major(device_)) + ":" + std::to_string(minor(device_));
    return ::access(node.c_str(), F_OK) != 0 && errno == ENOENT;
  }

  void ForgetCached(uint64_t byte_offset, uint64_t length_bytes) override {
    (void)::posix_fadvise(fd_, static_cast<off_t>(byte_offset), static_cast<off_t>(length_bytes),
                          POSIX_FADV_DONTNEED);
  }

 private:
  int fd_;
  bool is_block_;
  dev_t device_;
  int last_read_errno_ = 0;
};

std::mutex& OpenerMutex() {
  static std::mutex mutex;
  return mutex;
}

SourceOpener& TestOpener() {
  static SourceOpener opener;
  return opener;
}

bool IsRefusal(int error) { return error == EACCES || error == EPERM; }

bool IsBlockDevice(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

ErrorCode OpenRealSource(const std::filesystem::path& path, std::unique_ptr<SectorSource>* source) {
  int fd = -1;
  if (ErrorCode rc = OpenReadOnlyDescriptor(path, &fd); !rc.ok()) return rc;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ErrorCode rc = LastErrorCode();
    ::close(fd);
    return rc;
  }
  if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) {
    ::close(fd);
    return err::kInvalidParameter;
  }
  // Scans read front to back: a larger read-ahead keeps a card reader busy.
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  *source = std::make_unique<DeviceSectorSource>(fd, S_ISBLK(st.st_mode), st.st_rdev);
  return err::kSuccess;
}

}  // namespace

ErrorCode OpenSource(const std::filesystem::path& path, std::unique_ptr<SectorSource>* source) {
  source->reset();
  SourceOpener opener;
  {
    std::lock_guard lock(OpenerMutex());
    opener = TestOpener();
  }
  if (opener) return opener(path, source);
  return OpenRealSource(path, source);
}

ErrorCode OpenReadOnlyDescriptor(const std::filesystem::path& path, int* fd) {
  do {
    *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (*fd < 0 && errno == EINTR);
  if (*fd >= 0) return err::kSuccess;
  const ErrorCode refused = LastErrorCode();
  if (!IsRefusal(refused.system_errno()) || !IsBlockDevice(path)) return refused;
  if (OpenThroughUdisks(path, fd).ok()) return err::kSuccess;
  return refused;
}

bool RunsAsRoot() { return ::geteuid() == 0; }

void SetSourceOpenerForTesting(SourceOpener opener) {
  std::lock_guard lock(OpenerMutex());
  TestOpener() = std::move(opener);
}

}  // namespace vexlo::platform
