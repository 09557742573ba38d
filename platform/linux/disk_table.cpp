#include "platform/disk_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <system_error>

#include "platform/linux/sysfs_attribute.h"

namespace vexlo::platform {
namespace {

uint64_t ReadNumber(const std::filesystem::path& file) {
  const std::string text = SysfsAttribute(file);
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

bool ParseDevNumbers(const std::string& text, uint32_t* major, uint32_t* minor) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    *major = static_cast<uint32_t>(std::stoul(text.substr(0, colon)));
    *minor = static_cast<uint32_t>(std::stoul(text.substr(colon + 1)));
  } catch (...) {
    return false;
  }
  return true;
}

bool IsWholeDisk(const std::filesystem::path& entry, const std::string& name) {
  if (name.starts_with("ram") || name.starts_with("zram")) return false;
  std::error_code ec;
  if (name.starts_with("loop") && !std::filesystem::exists(entry / "loop" / "backing_file", ec)) {
    return false;
  }
  return std::filesystem::exists(entry / "dev", ec);
}

std::vector<PartitionInfo> ListPartitions(const std::filesystem::path& disk_dir,
                                          const std::filesystem::path& dev_root) {
  std::vector<PartitionInfo> partitions;
  std::error_code ec;
  for (const auto& child : std::filesystem::directory_iterator(disk_dir, ec)) {
    std::error_code child_ec;
    if (!std::filesystem::exists(child.path() / "partition", child_ec)) continue;
    PartitionInfo info;
    info.name = child.path().filename().string();
    info.number = static_cast<uint32_t>(ReadNumber(child.path() / "partition"));
    info.start_512 = ReadNumber(child.path() / "start");
    info.size_512 = ReadNumber(child.path() / "size");
    ParseDevNumbers(SysfsAttribute(child.path() / "dev"), &info.major, &info.minor);
    info.dev_path = dev_root / info.name;
    partitions.push_back(std::move(info));
  }
  std::sort(
      partitions.begin(), partitions.end(),
      [](const PartitionInfo& a, const PartitionInfo& b) { return a.start_512 < b.start_512; });
  return partitions;
}

}  // namespace

std::vector<DiskInfo> ListWholeDisks(const SysfsRoots& roots) {
  std::vector<DiskInfo> disks;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(roots.sys_block, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsWholeDisk(entry.path(), name)) continue;
    DiskInfo disk;
    disk.name = name;
    if (!ParseDevNumbers(SysfsAttribute(entry.path() / "dev"), &disk.major, &disk.minor)) continue;
    disk.size_512 = ReadNumber(entry.path() / "size");
    disk.removable = SysfsAttribute(entry.path() / "removable") == "1";
    disk.read_only = SysfsAttribute(entry.path() / "ro") == "1";
    // Readable without opening the device, so unprivileged users get the
    // right sector size too.
    if (const uint64_t block = ReadNumber(entry.path() / "queue" / "logical_block_size");
        block >= 512 && block <= 65536) {
      disk.logical_block_size = static_cast<uint32_t>(block);
    }
    // The same strings udev's ID_VENDOR and ID_MODEL are made of, read from
    // sysfs so that they are there without udev (containers, tests).
    disk.vendor = SysfsAttribute(entry.path() / "device" / "vendor");
    disk.model = SysfsAttribute(entry.path() / "device" / "model");
    std::error_code link_ec;
    const std::string resolved = std::filesystem::weakly_canonical(entry.path(), link_ec).string();
    disk.usb = resolved.find("/usb") != std::string::npos;
    disk.usb_or_sd =
        disk.usb || name.starts_with("mmcblk") || resolved.find("/mmc") != std::string::npos;
    disk.dev_path = roots.dev / name;
    disk.partitions = ListPartitions(entry.path(), roots.dev);
    disks.push_back(std::move(disk));
  }
  std::sort(disks.begin(), disks.end(), [](const DiskInfo& a, const DiskInfo& b) {
    return a.major != b.major ? a.major < b.major : a.minor < b.minor;
  });
  return disks;
}

std::filesystem::path DiskDevicePath(uint32_t disk_number, const SysfsRoots& roots) {
  std::vector<DiskInfo> disks = ListWholeDisks(roots);
  if (disk_number >= disks.size()) return {};
  return disks[disk_number].dev_path;
}

bool FindDeviceInTable(const std::filesystem::path& device, const SysfsRoots& roots,
                       uint32_t* disk_number, const PartitionInfo** partition,
                       std::vector<DiskInfo>* table) {
  *partition = nullptr;
  *table = ListWholeDisks(roots);
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(device, ec);
  const std::string wanted = (ec ? device : resolved).filename().string();
  for (uint32_t i = 0; i < table->size(); ++i) {
    const DiskInfo& disk = (*table)[i];
    if (disk.name == wanted) {
      *disk_number = i;
      return true;
    }
    for (const PartitionInfo& part : disk.partitions) {
      if (part.name == wanted) {
        *disk_number = i;
        *partition = &part;
        return true;
      }
    }
  }
  return false;
}

}  // namespace vexlo::platform
