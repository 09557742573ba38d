#include "platform/volume_info.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/non_copyable.h"
#include "platform/sector_source.h"
#include "platform/text.h"

namespace vexlo::platform {
namespace {

// A blkid probe on a descriptor of its own, freed with it.
class ReadOnlyProbe : NonCopyable {
 public:
  ReadOnlyProbe() = default;
  ~ReadOnlyProbe() {
    if (probe_ != nullptr) blkid_free_probe(probe_);
    if (fd_ >= 0) ::close(fd_);
  }

  // Probes `length_bytes` from `offset_bytes` on (0: to the end).
  ErrorCode Open(const std::filesystem::path& device, uint64_t offset_bytes = 0,
                 uint64_t length_bytes = 0) {
    // Opened read-only by us, so the probe can never write to a source.
    if (ErrorCode rc = OpenReadOnlyDescriptor(device, &fd_); !rc.ok()) return rc;
    probe_ = blkid_new_probe();
    if (probe_ == nullptr) return err::kNotEnoughMemory;
    if (blkid_probe_set_device(probe_, fd_, static_cast<blkid_loff_t>(offset_bytes),
                               static_cast<blkid_loff_t>(length_bytes)) != 0) {
      return err::kInvalidParameter;
    }
    return err::kSuccess;
  }

  blkid_probe get() const { return probe_; }

 private:
  int fd_ = -1;
  blkid_probe probe_ = nullptr;
};

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

ErrorCode ProbeFileSystem(const std::filesystem::path& device, FileSystemProbe* result,
                          uint64_t offset_bytes, uint64_t length_bytes) {
  *result = FileSystemProbe{};
  ReadOnlyProbe opened;
  if (ErrorCode rc = opened.Open(device, offset_bytes, length_bytes); !rc.ok()) return rc;
  blkid_probe probe = opened.get();
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe,
                                    BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
  blkid_probe_enable_partitions(probe, 1);
  blkid_probe_set_partitions_flags(probe, BLKID_PARTS_ENTRY_DETAILS);
  if (blkid_do_safeprobe(probe) == 0) {
    result->type = ProbeValue(probe, "TYPE");
    result->version = ProbeValue(probe, "VERSION");
    result->label = ProbeValue(probe, "LABEL");
    result->part_type = ProbeValue(probe, "PART_ENTRY_TYPE");
  }
  return err::kSuccess;
}

ErrorCode ProbePartitionTable(const std::filesystem::path& disk_device,
                              PartitionTableProbe* result) {
  *result = PartitionTableProbe{};
  ReadOnlyProbe opened;
  if (ErrorCode rc = opened.Open(disk_device); !rc.ok()) return rc;
  blkid_probe probe = opened.get();
  blkid_probe_enable_superblocks(probe, 0);
  blkid_probe_enable_partitions(probe, 1);
  blkid_partlist list = blkid_probe_get_partitions(probe);
  blkid_parttable table = list ? blkid_partlist_get_table(list) : nullptr;
  if (table != nullptr) {
    const char* type = blkid_parttable_get_type(table);
    result->table_type = type ? type : "";
    const bool mbr = result->table_type == "dos";
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
      blkid_partition part = blkid_partlist_get_partition(list, i);
      if (part == nullptr) continue;
      PartitionTableEntry entry;
      entry.number = static_cast<uint32_t>(std::max(0, blkid_partition_get_partno(part)));
      entry.start_512 =
          static_cast<uint64_t>(std::max<blkid_loff_t>(0, blkid_partition_get_start(part)));
      entry.size_512 =
          static_cast<uint64_t>(std::max<blkid_loff_t>(0, blkid_partition_get_size(part)));
      if (mbr) {
        entry.mbr_type = static_cast<uint8_t>(blkid_partition_get_type(part) & 0xFF);
      }
      entry.extended = blkid_partition_is_extended(part) != 0;
      result->entries.push_back(entry);
    }
  }
  return err::kSuccess;
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

ErrorCode VolumeSizesAt(const std::filesystem::path& mount_point, uint64_t* total_bytes,
                        uint64_t* free_bytes) {
  *total_bytes = 0;
  *free_bytes = 0;
  struct statvfs st {};
  if (::statvfs(mount_point.c_str(), &st) != 0) return LastErrorCode();
  *total_bytes = uint64_t{st.f_frsize} * uint64_t{st.f_blocks};
  *free_bytes = uint64_t{st.f_frsize} * uint64_t{st.f_bfree};
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
