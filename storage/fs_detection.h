// Recognising what lies on a source from its first 16 KiB.
//
// The tests run on a read-only probe buffer in this order: NTFS, exFAT, FAT,
// ext (the superblock 1,024 bytes in). exFAT goes before FAT because its boot
// sector leaves the old BPB area zeroed, which no FAT test should have to
// reason about. Fields are little-endian at fixed byte
// offsets. An encrypted volume (BitLocker) is never taken for FAT, whatever
// its other fields say.
#pragma once

#include <cstdint>
#include <span>

namespace vexlo {

// Bytes read from the start of a source to recognise its file system.
inline constexpr std::size_t kProbeBytes = 16384;

enum class FileSystemType : int {
  kFat = 2,  // FAT12, FAT16 or FAT32
  kNtfs = 3,
  kExt = 4,    // ext2, ext3 or ext4
  kOther = 5,  // raw or unknown
  kExFat = 6,
};

// Each test reads only what lies inside `sector`; a shorter buffer fails.
bool IsNtfsBootSector(std::span<const uint8_t> sector);
bool IsLockedVolume(std::span<const uint8_t> sector);
bool IsFatBootSector(std::span<const uint8_t> sector);
bool IsExFatBootSector(std::span<const uint8_t> sector);
bool IsFat1216Bpb(std::span<const uint8_t> sector);
bool IsFat32Bpb(std::span<const uint8_t> sector);
// `superblock` is the 1,024 bytes that start 1,024 bytes into the source.
bool IsExtSuperblock(std::span<const uint8_t> superblock);

// The type of the probe (the first kProbeBytes of a source).
FileSystemType DetectFileSystem(std::span<const uint8_t> probe);

}  // namespace vexlo
