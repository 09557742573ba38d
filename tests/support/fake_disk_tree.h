// A fabricated /sys/block, /dev and mountinfo for tests of the disk list and
// of anything that resolves devices through the disk table.
//
// Every "device" is a sparse regular file under the tree's dev folder, so
// libblkid and read-only opens work on it as on a real block device. Disks
// get their partition tables from sfdisk and their file systems from
// mkfs.fat; partition devices are copies of their stretch of the disk file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/disk_table.h"

namespace vexlo::testing {

// Runs a shell command with its output discarded; returns its exit status.
int RunQuiet(const std::string& command);

class FakeDiskTree {
 public:
  explicit FakeDiskTree(const std::filesystem::path& root);

  const platform::SysfsRoots& roots() const { return roots_; }
  std::filesystem::path DevPath(const std::string& name) const { return roots_.dev / name; }

  // A whole disk of `size_512` sectors, its device file zero-filled (sparse).
  void AddDisk(const std::string& name, uint32_t major, uint32_t minor, uint64_t size_512,
               bool removable = false);

  // Writes a partition table with sfdisk ("label: dos" or "gpt" and its
  // lines, see sfdisk(8)) onto the disk's device file.
  void WritePartitionTable(const std::string& disk, const std::string& script);

  // Formats a stretch of the disk file with mkfs.fat (`fat_bits` 12, 16, 32).
  void FormatFat(const std::string& disk, uint64_t start_512, uint64_t size_512, int fat_bits,
                 const std::string& label);

  // The sysfs entry of a partition and its device file, a copy of the
  // disk's stretch.
  void AddPartition(const std::string& disk, const std::string& name, uint32_t number,
                    uint32_t minor, uint64_t start_512, uint64_t size_512);

  // A line of mountinfo mounting device major:minor at `mount_point`.
  void AddMount(uint32_t major, uint32_t minor, const std::filesystem::path& mount_point);

  // Removes a disk from sysfs and /dev (the card was pulled).
  void RemoveDisk(const std::string& name);

 private:
  platform::SysfsRoots roots_;
  int mount_id_ = 100;
};

}  // namespace vexlo::testing
