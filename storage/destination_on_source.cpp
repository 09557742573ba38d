#include "storage/destination_on_source.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <system_error>
#include <vector>

#include "platform/volume_info.h"

namespace vexlo {
namespace {

// The file system that holds `path`, or would hold it: that of the nearest
// existing path at or above it.
bool HoldingDevice(const std::filesystem::path& path, uint64_t* device) {
  std::error_code ec;
  std::filesystem::path at = std::filesystem::absolute(path, ec);
  if (ec) return false;
  for (;;) {
    if (platform::DeviceOfPath(at, device).ok()) return true;
    if (!at.has_parent_path() || at.parent_path() == at) return false;
    at = at.parent_path();
  }
}

// The block devices a device source stands for: a partition, or a whole
// disk with every partition on it.
std::vector<dev_t> SourceDevices(const std::filesystem::path& device,
                                 const platform::SysfsRoots& roots) {
  uint32_t disk_number = 0;
  const platform::PartitionInfo* partition = nullptr;
  std::vector<platform::DiskInfo> table;
  if (platform::FindDeviceInTable(device, roots, &disk_number, &partition, &table)) {
    if (partition != nullptr) return {makedev(partition->major, partition->minor)};
    const platform::DiskInfo& disk = table[disk_number];
    std::vector<dev_t> devices{makedev(disk.major, disk.minor)};
    for (const platform::PartitionInfo& part : disk.partitions) {
      devices.push_back(makedev(part.major, part.minor));
    }
    return devices;
  }
  struct stat st {};
  if (::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return {st.st_rdev};
  return {};
}

bool OnDevice(uint64_t destination, const std::filesystem::path& device,
              const platform::SysfsRoots& roots) {
  for (const dev_t source : SourceDevices(device, roots)) {
    if (source == destination) return true;
    for (const std::filesystem::path& mount_point :
         platform::MountPointsOf(major(source), minor(source), roots.mountinfo)) {
      uint64_t mounted = 0;
      if (platform::DeviceOfPath(mount_point, &mounted).ok() && mounted == destination) return true;
    }
  }
  return false;
}

}  // namespace

bool DestinationOnSource(const std::filesystem::path& destination, const SourceMedium& source,
                         const platform::SysfsRoots& roots) {
  uint64_t destination_device = 0;
  if (source.path.empty() || !HoldingDevice(destination, &destination_device)) return false;
  if (source.kind == SourceMedium::Kind::kDevice) {
    return OnDevice(destination_device, source.path, roots);
  }
  uint64_t image_device = 0;
  return platform::DeviceOfPath(source.path, &image_device).ok() &&
         image_device == destination_device;
}

bool SameExistingFile(const std::filesystem::path& first, const std::filesystem::path& second) {
  std::error_code ec;
  return std::filesystem::equivalent(first, second, ec) && !ec;
}

}  // namespace vexlo
