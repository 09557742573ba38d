#include "platform/volume_info.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace vexlo::platform {
namespace {

std::string ProbeValue(blkid_probe probe, const char* name) {
  const char* value = nullptr;
  if (blkid_probe_lookup_value(probe, name, &value, nullptr) == 0 && value != nullptr) {
    return value;
  }
  return {};
}

// mountinfo escapes blanks and a few other bytes in paths as \ooo.
std::string UnescapeMountPath(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

ErrorCode ProbeFileSystem(const std::filesystem::path& device, FileSystemProbe* result) {
  *result = FileSystemProbe{};
  // Opened read-only by us, so the probe can never write to a source.
  int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastErrorCode();
  blkid_probe probe = blkid_new_probe();
  if (probe == nullptr) {
    ::close(fd);
    return err::kNotEnoughMemory;
  }
  ErrorCode rc = err::kSuccess;
  if (blkid_probe_set_device(probe, fd, 0, 0) != 0) {
    rc = err::kInvalidParameter;
  } else {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(
        probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe, 1);
    blkid_probe_set_partitions_flags(probe, BLKID_PARTS_ENTRY_DETAILS);
    if (blkid_do_safeprobe(probe) == 0) {
      result->type = ProbeValue(probe, "TYPE");
      result->version = ProbeValue(probe, "VERSION");
      result->label = ProbeValue(probe, "LABEL");
      result->part_type = ProbeValue(probe, "PART_ENTRY_TYPE");
    }
  }
  blkid_free_probe(probe);
  ::close(fd);
  return rc;
}

std::string FileSystemDisplayName(const FileSystemProbe& probe) {
  if (probe.type.empty()) return {};
  if (probe.type == "ntfs") return "NTFS";
  if (probe.type == "vfat" || probe.type == "msdos") {
    return probe.version == "FAT32" ? "FAT32" : "FAT";
  }
  if (probe.type == "exfat") return "exFAT";
  if (probe.type == "ext2" || probe.type == "ext3" || probe.type == "ext4") return probe.type;
  std::string upper = probe.type;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::vector<std::filesystem::path> MountPointsOf(uint32_t major, uint32_t minor,
                                                 const std::filesystem::path& mountinfo) {
  std::vector<std::filesystem::path> points;
  std::ifstream in(mountinfo);
  const std::string wanted = std::to_string(major) + ":" + std::to_string(minor);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string mount_id, parent_id, numbers, root, mount_point;
    if (!(fields >> mount_id >> parent_id >> numbers >> root >> mount_point)) continue;
    if (numbers == wanted) points.emplace_back(UnescapeMountPath(mount_point));
  }
  return points;
}

ErrorCode FreeBytesAt(const std::filesystem::path& mount_point, uint64_t* free_bytes) {
  *free_bytes = 0;
  struct statvfs st {};
  if (::statvfs(mount_point.c_str(), &st) != 0) return LastErrorCode();
  *free_bytes = uint64_t{st.f_frsize} * uint64_t{st.f_bavail};
  return err::kSuccess;
}

void FlushFileSystem(const std::filesystem::path& mount_point_or_device) {
  int fd = ::open(mount_point_or_device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
    (void)::fsync(fd);
  } else {
    (void)::syncfs(fd);
  }
  ::close(fd);
}

ErrorCode DeviceOfPath(const std::filesystem::path& path, uint64_t* device_number) {
  *device_number = 0;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return LastErrorCode();
  *device_number = st.st_dev;
  return err::kSuccess;
}

}  // namespace vexlo::platform
