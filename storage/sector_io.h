// Sector reads from whole disks and image files.
//
// Every engine, the file-system probe and the image writer read a source
// through these calls. A partition is never read through its own device: it
// is read through the whole disk that holds it, at the partition's first
// sector plus the sector number within the partition. Sources are opened
// read-only; nothing here can write to a source.
//
// Sector numbers are unsigned 64-bit; the byte offset of sector s is
// s x sector size, computed in 64 bits. The sector size is named by every
// read: the device's logical sector size (512 for image files) until an
// engine has read a boot sector, whose bytes-per-sector it uses from then on.
//
// A DiskHandle is used by one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/disk_table.h"
#include "platform/error_code.h"
#include "platform/sector_source.h"
#include "storage/known_bad_areas.h"

namespace vexlo {

// Largest single system read; larger requests are split into pieces. A card
// reader is kept busy by large reads; a small synchronous read is bound by
// its latency.
inline constexpr std::size_t kReadPieceBytes = 1 << 20;

// An open source. Created closed (no source, total_sectors 0); closed by its
// owner. Moving transfers ownership.
struct DiskHandle {
  std::unique_ptr<platform::SectorSource> handle;
  // Addressable sectors of the whole source: the bound of every read. For an
  // image file counted in 512-byte units whatever the reads later name.
  uint64_t total_sectors = 0;
  // Logical sector size the device reports (512 for images and when unknown).
  uint32_t device_sector_bytes = 512;
  // Of an image whose copy left holes: where the image holds zeros instead
  // of the medium's data (byte offsets of the source). Null when none are
  // known.
  std::shared_ptr<const KnownBadAreas> known_bad;

  bool is_open() const { return handle != nullptr; }
};

// Opens whole disk `disk_number` of the disk table. total_sectors comes from
// the device length / sector size, or cylinders x tracks x sectors when the
// length query fails. A failed geometry query returns its code with the
// handle left open for the owner to close.
ErrorCode OpenPhysicalDisk(uint32_t disk_number, DiskHandle* disk,
                           const platform::SysfsRoots& roots = {});

// Opens an already opened source as a disk (the same sizing rules). Used for
// a device named by path and by tests.
ErrorCode OpenDiskFromSource(std::unique_ptr<platform::SectorSource> source, DiskHandle* disk);

// Opens an image file; total_sectors = size / 512, the remainder ignored.
// The map beside it, if any, tells the known bad areas.
ErrorCode OpenImageFile(const std::filesystem::path& path, DiskHandle* disk);

// Reads `sector_count` sectors of `sector_bytes` from `start_sector` into
// `buffer` (at least sector_count x sector_bytes bytes, owned by the caller).
//   - start + count beyond total_sectors: 87 before any I/O, buffer untouched;
//   - pieces of at most 1 MiB; a short piece is followed by the remainder;
//   - a failed or empty read stops with 30, the whole sectors read so far
//     stay in the buffer and are counted in *sectors_read.
ErrorCode ReadSectors(uint64_t sector_count, DiskHandle& disk, void* buffer, uint64_t start_sector,
                      uint32_t sector_bytes, uint64_t* sectors_read);

// The part of `sector_count` sectors from `first_sector` that lies on the
// source: a partition of a cut-short image ends with the image.
uint64_t SectorsOnDisk(const DiskHandle& disk, uint64_t first_sector, uint64_t sector_count);

// Tells the system that a walk over the source is done with `sector_count`
// sectors from `start_sector`: they need not stay cached (a scan of a large
// card would otherwise push everything else out of the page cache).
void ForgetCachedSectors(DiskHandle& disk, uint64_t start_sector, uint64_t sector_count,
                         uint32_t sector_bytes);

// Whether the source still reaches `end_byte`. A card taken out of its
// reader (or a stick pulled) reports a length of 0, or none at all, from then
// on: reads cannot succeed again and a walk need not try every sector left.
bool SourceStillReaches(DiskHandle& disk, uint64_t end_byte);

// Closes the source; closing a closed handle does nothing.
void CloseDiskHandle(DiskHandle& disk);

// Makes data that the system still caches for a volume reach the medium
// before its raw sectors are read. The volume is named by its device path
// (the mount points are found and synced). Failures are ignored.
void FlushVolume(const std::filesystem::path& volume_device,
                 const platform::SysfsRoots& roots = {});

// A removable disk (sysfs removable = 1), or one on a USB or SD bus.
bool IsRemovableDisk(uint32_t disk_number, const platform::SysfsRoots& roots = {});

// True when the disk hangs off a USB or SD/MMC bus.
bool IsUsbOrSdBus(uint32_t disk_number, const platform::SysfsRoots& roots = {});

// Length of whole disk `disk_number` in bytes.
ErrorCode GetDiskLengthBytes(uint32_t disk_number, uint64_t* length_bytes,
                             const platform::SysfsRoots& roots = {});

// Free bytes of a mounted volume, named by its mount point.
ErrorCode GetVolumeFreeBytes(const std::filesystem::path& mount_point, uint64_t* free_bytes);

// File-system name of a volume device or image ("NTFS", "FAT32", "FAT",
// "exFAT", "ext4" ...); 1785 when nothing is recognised.
ErrorCode GetVolumeFileSystemName(const std::filesystem::path& volume_device, std::string* name);

}  // namespace vexlo
