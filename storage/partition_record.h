// One entry of the disk list: a volume, a free area between volumes, or a
// whole disk that holds no volume at all.
//
// A record is a plain value: the main window, the scan workers and the image
// writer keep copies of it. Everything needed to read the entry's sectors is
// here (disk number, first sector, length, sector size); the rest describes
// the entry to the user.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error_code.h"

namespace vexlo {

enum class EntryKind : uint8_t {
  kVolume,
  kFreeArea,
  kWholeDisk,
};

// Partition type bytes that the volume's own file system overrides, so that a
// volume whose table carries no type byte (GPT) is still recognised.
inline constexpr uint8_t kPartitionTypeNtfs = 7;
inline constexpr uint8_t kPartitionTypeFat32 = 11;
inline constexpr uint8_t kPartitionTypeFat = 6;
// exFAT shares its MBR type byte with NTFS.
inline constexpr uint8_t kPartitionTypeExFat = 7;

struct PartitionRecord {
  // 1-based position in the whole list. Linux volumes have no drive letters,
  // so every entry is numbered by position; the number changes when an entry
  // appears before it.
  uint16_t id = 0;
  EntryKind kind = EntryKind::kVolume;
  // Table type byte, replaced by 7 / 11 / 6 / 7 for NTFS / FAT32 / FAT /
  // exFAT; 0 for free areas, whole disks and volumes whose table has no type
  // byte.
  uint8_t partition_type = 0;
  int32_t disk_number = -1;         // disk-table number; -1 when unknown
  int32_t partition_number = -1;    // number on its disk; -1 when unknown
  uint64_t total_bytes = 0;         // file-system size when mounted, else length in bytes
  uint64_t used_bytes = 0;          // total_bytes - free_bytes
  uint64_t free_bytes = 0;          // free space when mounted; 0 for unmounted volumes
  uint64_t start = 0;               // first sector on the disk, in sector_bytes units
  uint64_t length = 0;              // number of sectors
  uint32_t sector_bytes = 512;      // the disk's logical sector size
  std::string file_system;          // "FAT32", "NTFS", "ext4" ...; empty when unknown
  std::string label;                // UTF-8; may be empty
  std::filesystem::path root_path;  // the volume's own device ("/dev/sdb1"); empty otherwise
  std::filesystem::path disk_path;  // the whole disk's device ("/dev/sdb")
  std::vector<std::filesystem::path> mount_points;  // in mount-table order
  bool removable = false;                           // removable medium, or on a USB or SD bus
  bool usb = false;                                 // the disk hangs on a USB bus
  // Vendor and model as the system reports them ("SanDisk Ultra"); empty
  // when the disk names neither.
  std::string disk_model;
  uint64_t disk_bytes = 0;  // the whole disk's size
  // 0, or the code met when the device could not be read (typically 5 for a
  // user outside the disk group); such an entry is described from sysfs only.
  ErrorCode access_error;
  // 0, or the code met when the whole disk the entry lies on could not be
  // read.
  ErrorCode disk_access_error;
};

}  // namespace vexlo
