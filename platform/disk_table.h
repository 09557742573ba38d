// The disk table: which whole disks the system has, and their numbers.
//
// Disk number N means the same thing to the enumerator, the engines and the
// image writer: the N-th whole disk of /sys/block ordered by device numbers
// (major, minor), counting from 0. RAM disks, zram and loop devices without a
// backing file are not disks. The sysfs and /dev roots are parameters so that
// tests run on fabricated trees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vexlo::platform {

struct SysfsRoots {
  std::filesystem::path sys_block = "/sys/block";
  std::filesystem::path dev = "/dev";
  std::filesystem::path mountinfo = "/proc/self/mountinfo";
};

struct PartitionInfo {
  std::string name;        // "sdb1"
  uint32_t number = 0;     // the "partition" attribute
  uint64_t start_512 = 0;  // first sector, 512-byte units
  uint64_t size_512 = 0;   // length, 512-byte units
  uint32_t major = 0;
  uint32_t minor = 0;
  std::filesystem::path dev_path;  // "/dev/sdb1"
};

struct DiskInfo {
  std::string name;  // "sdb", "mmcblk0"
  uint32_t major = 0;
  uint32_t minor = 0;
  uint64_t size_512 = 0;
  bool removable = false;  // /sys/block/<disk>/removable is 1
  bool usb_or_sd = false;  // resolved device path runs through usb or mmc
  bool usb = false;        // of those, the usb ones: a stick or a card reader, not a card slot
  bool read_only = false;
  uint32_t logical_block_size = 512;      // queue/logical_block_size; 512 when absent
  std::string vendor;                     // device/vendor, trimmed; may be empty
  std::string model;                      // device/model, trimmed; may be empty
  std::filesystem::path dev_path;         // "/dev/sdb"
  std::vector<PartitionInfo> partitions;  // ordered by start sector
};

// The whole disks, in disk-number order.
std::vector<DiskInfo> ListWholeDisks(const SysfsRoots& roots = {});

// Device path of disk number `disk_number`; empty when there is no such disk.
std::filesystem::path DiskDevicePath(uint32_t disk_number, const SysfsRoots& roots = {});

// What tells this disk from another one that takes its place: udev's serial
// and model (ID_SERIAL, ID_MODEL), an SD card's own identification register
// (device/cid), and a loop device's backing file, joined in one text. A card
// reader keeps its serial whatever card sits in it, so this alone never
// tells two cards apart; empty when the disk names none of these.
std::string DiskIdentity(const DiskInfo& disk, const SysfsRoots& roots = {});

// The disk number and partition that hold a block device path ("/dev/sdb1" ->
// disk of sdb, partition sdb1). Resolves symbolic links first. Returns false
// when the path is no disk or partition of the table.
bool FindDeviceInTable(const std::filesystem::path& device, const SysfsRoots& roots,
                       uint32_t* disk_number, const PartitionInfo** partition,
                       std::vector<DiskInfo>* table);

}  // namespace vexlo::platform
