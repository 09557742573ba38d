// What the system knows about a volume: its file system and label (libblkid),
// where it is mounted (mountinfo), its free space (statvfs), and flushing its
// cached writes before the raw sectors are read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error_code.h"

namespace vexlo::platform {

struct FileSystemProbe {
  std::string type;       // libblkid TYPE: "vfat", "ntfs", "exfat", "ext4" ...
  std::string version;    // libblkid VERSION: "FAT32", "FAT16" ... (may be empty)
  std::string label;      // LABEL (may be empty)
  std::string part_type;  // PART_ENTRY_TYPE of the partition table (may be empty)
};

// Probes a device or image file read-only with libblkid; with a length, only
// the stretch of `length_bytes` at `offset_bytes` (a partition of an image).
ErrorCode ProbeFileSystem(const std::filesystem::path& device, FileSystemProbe* probe,
                          uint64_t offset_bytes = 0, uint64_t length_bytes = 0);

// "NTFS", "FAT32", "FAT" (FAT12 and FAT16), "exFAT", "ext2", "ext3", "ext4",
// or the libblkid type in upper case; empty for no file system.
std::string FileSystemDisplayName(const FileSystemProbe& probe);

// One entry of a disk's partition table as libblkid reads it.
struct PartitionTableEntry {
  uint32_t number = 0;     // partition number (sdb1 -> 1)
  uint64_t start_512 = 0;  // first sector, 512-byte units
  uint64_t size_512 = 0;   // length, 512-byte units
  uint8_t mbr_type = 0;    // MBR type byte; 0 on GPT and other tables
  bool extended = false;   // an MBR extended container, not a volume
};

struct PartitionTableProbe {
  std::string table_type;  // "dos", "gpt" ...; empty when the disk has none
  std::vector<PartitionTableEntry> entries;
};

// Reads the partition table of a whole disk (or disk image) read-only.
ErrorCode ProbePartitionTable(const std::filesystem::path& disk_device, PartitionTableProbe* probe);

// Mount points of the block device with the given numbers, in mountinfo order.
std::vector<std::filesystem::path> MountPointsOf(
    uint32_t major, uint32_t minor,
    const std::filesystem::path& mountinfo = "/proc/self/mountinfo");

// Free bytes of the file system mounted at `mount_point` (statvfs: fragment
// size x blocks available to the user).
ErrorCode FreeBytesAt(const std::filesystem::path& mount_point, uint64_t* free_bytes);

// Size and free space of the file system mounted at `mount_point` (statvfs:
// fragment size x blocks, and x free blocks including those kept for root).
ErrorCode VolumeSizesAt(const std::filesystem::path& mount_point, uint64_t* total_bytes,
                        uint64_t* free_bytes);

// Flushes the file system mounted at `mount_point` (syncfs), or the block
// device itself when it is not mounted (fsync of a read-only descriptor).
// Failures are ignored: this only helps the raw reads see recent writes.
void FlushFileSystem(const std::filesystem::path& mount_point_or_device);

// The device number of the file system that holds `path` (stat st_dev).
ErrorCode DeviceOfPath(const std::filesystem::path& path, uint64_t* device_number);

}  // namespace vexlo::platform
