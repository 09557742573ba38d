#include "storage/image_target_check.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <system_error>
#include <vector>

namespace vexlo {
namespace {

// The file system that would hold `target`: its own when it exists, else
// that of the nearest existing folder above it.
bool TargetDevice(const std::filesystem::path& target, dev_t* device) {
  std::error_code ec;
  std::filesystem::path at = std::filesystem::absolute(target, ec);
  if (ec) return false;
  for (;;) {
    struct stat st {};
    if (::stat(at.c_str(), &st) == 0) {
      *device = st.st_dev;
      return true;
    }
    if (!at.has_parent_path() || at.parent_path() == at) return false;
    at = at.parent_path();
  }
}

}  // namespace

bool ImageTargetOnSource(const std::filesystem::path& target, const std::filesystem::path& source,
                         const platform::SysfsRoots& roots) {
  struct stat source_st {};
  if (::stat(source.c_str(), &source_st) != 0) return false;
  if (S_ISREG(source_st.st_mode)) {
    struct stat target_st {};
    return ::stat(target.c_str(), &target_st) == 0 && target_st.st_dev == source_st.st_dev &&
           target_st.st_ino == source_st.st_ino;
  }

  dev_t target_device = 0;
  if (!TargetDevice(target, &target_device)) return false;
  uint32_t disk_number = 0;
  const platform::PartitionInfo* partition = nullptr;
  std::vector<platform::DiskInfo> table;
  if (!platform::FindDeviceInTable(source, roots, &disk_number, &partition, &table)) {
    return S_ISBLK(source_st.st_mode) && source_st.st_rdev == target_device;
  }
  if (partition != nullptr) return makedev(partition->major, partition->minor) == target_device;
  const platform::DiskInfo& disk = table[disk_number];
  if (makedev(disk.major, disk.minor) == target_device) return true;
  for (const platform::PartitionInfo& part : disk.partitions) {
    if (makedev(part.major, part.minor) == target_device) return true;
  }
  return false;
}

}  // namespace vexlo
