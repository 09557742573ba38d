#include "storage/sector_io.h"

#include <algorithm>

#include "platform/volume_info.h"
#include "storage/read_trace.h"

namespace vexlo {

ErrorCode OpenDiskFromSource(std::unique_ptr<platform::SectorSource> source, DiskHandle* disk) {
  CloseDiskHandle(*disk);
  disk->handle = std::move(source);
  platform::DeviceGeometry geometry;
  if (ErrorCode rc = disk->handle->Geometry(&geometry); !rc.ok()) return rc;
  if (geometry.bytes_per_sector == 0) return err::kInvalidParameter;
  disk->device_sector_bytes = geometry.bytes_per_sector;
  uint64_t length = 0;
  if (disk->handle->LengthBytes(&length).ok()) {
    disk->total_sectors = length / geometry.bytes_per_sector;
  }
  if (disk->total_sectors == 0) {
    disk->total_sectors =
        geometry.cylinders * geometry.tracks_per_cylinder * geometry.sectors_per_track;
  }
  return err::kSuccess;
}

ErrorCode OpenPhysicalDisk(uint32_t disk_number, DiskHandle* disk,
                           const platform::SysfsRoots& roots) {
  CloseDiskHandle(*disk);
  const std::filesystem::path path = platform::DiskDevicePath(disk_number, roots);
  if (path.empty()) return err::kFileNotFound;
  std::unique_ptr<platform::SectorSource> source;
  if (ErrorCode rc = platform::OpenSource(path, &source); !rc.ok()) return rc;
  return OpenDiskFromSource(std::move(source), disk);
}

ErrorCode OpenImageFile(const std::filesystem::path& path, DiskHandle* disk) {
  CloseDiskHandle(*disk);
  std::unique_ptr<platform::SectorSource> source;
  if (ErrorCode rc = platform::OpenSource(path, &source); !rc.ok()) return rc;
  uint64_t length = 0;
  if (ErrorCode rc = source->LengthBytes(&length); !rc.ok()) return rc;
  disk->handle = std::move(source);
  disk->total_sectors = length / 512;
  disk->device_sector_bytes = 512;
  disk->known_bad = KnownBadAreasOfImage(path);
  return err::kSuccess;
}

ErrorCode ReadSectors(uint64_t sector_count, DiskHandle& disk, void* buffer, uint64_t start_sector,
                      uint32_t sector_bytes, uint64_t* sectors_read) {
  *sectors_read = 0;
  if (!disk.is_open() || sector_bytes == 0) return err::kInvalidParameter;
  if (start_sector > disk.total_sectors || sector_count > disk.total_sectors - start_sector) {
    return err::kInvalidParameter;
  }
  const uint64_t total_bytes = sector_count * sector_bytes;
  const uint64_t base = start_sector * sector_bytes;
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  ErrorCode result = err::kSuccess;
  while (done < total_bytes) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<uint64_t>(kReadPieceBytes, total_bytes - done));
    std::size_t got = 0;
    ErrorCode rc = disk.handle->ReadAt(base + done, std::span<uint8_t>(bytes + done, piece), &got);
    done += got;
    if (!rc.ok() || got == 0) {
      result = err::kReadFault;
      break;
    }
  }
  *sectors_read = done / sector_bytes;
  ReadTrace::Note(buffer, base, *sectors_read * sector_bytes);
  return result;
}

uint64_t SectorsOnDisk(const DiskHandle& disk, uint64_t first_sector, uint64_t sector_count) {
  return first_sector < disk.total_sectors
             ? std::min(sector_count, disk.total_sectors - first_sector)
             : 0;
}

void ForgetCachedSectors(DiskHandle& disk, uint64_t start_sector, uint64_t sector_count,
                         uint32_t sector_bytes) {
  if (!disk.is_open() || sector_count == 0) return;
  disk.handle->ForgetCached(start_sector * sector_bytes, sector_count * sector_bytes);
}

bool SourceStillReaches(DiskHandle& disk, uint64_t end_byte) {
  uint64_t length = 0;
  return disk.is_open() && disk.handle->LengthBytes(&length).ok() && length >= end_byte;
}

void CloseDiskHandle(DiskHandle& disk) {
  disk.handle.reset();
  disk.known_bad.reset();
  disk.total_sectors = 0;
  disk.device_sector_bytes = 512;
}

void FlushVolume(const std::filesystem::path& volume_device, const platform::SysfsRoots& roots) {
  uint32_t disk_number = 0;
  const platform::PartitionInfo* partition = nullptr;
  std::vector<platform::DiskInfo> table;
  if (platform::FindDeviceInTable(volume_device, roots, &disk_number, &partition, &table)) {
    const uint32_t major = partition ? partition->major : table[disk_number].major;
    const uint32_t minor = partition ? partition->minor : table[disk_number].minor;
    const auto mounts = platform::MountPointsOf(major, minor, roots.mountinfo);
    if (!mounts.empty()) {
      for (const auto& mount : mounts) platform::FlushFileSystem(mount);
      return;
    }
  }
  platform::FlushFileSystem(volume_device);
}

bool IsUsbOrSdBus(uint32_t disk_number, const platform::SysfsRoots& roots) {
  const auto disks = platform::ListWholeDisks(roots);
  return disk_number < disks.size() && disks[disk_number].usb_or_sd;
}

bool IsRemovableDisk(uint32_t disk_number, const platform::SysfsRoots& roots) {
  const auto disks = platform::ListWholeDisks(roots);
  if (disk_number >= disks.size()) return false;
  return disks[disk_number].removable || disks[disk_number].usb_or_sd;
}

ErrorCode GetDiskLengthBytes(uint32_t disk_number, uint64_t* length_bytes,
                             const platform::SysfsRoots& roots) {
  *length_bytes = 0;
  const std::filesystem::path path = platform::DiskDevicePath(disk_number, roots);
  if (path.empty()) return err::kFileNotFound;
  std::unique_ptr<platform::SectorSource> source;
  if (ErrorCode rc = platform::OpenSource(path, &source); !rc.ok()) return rc;
  return source->LengthBytes(length_bytes);
}

ErrorCode GetVolumeFreeBytes(const std::filesystem::path& mount_point, uint64_t* free_bytes) {
  return platform::FreeBytesAt(mount_point, free_bytes);
}

ErrorCode GetVolumeFileSystemName(const std::filesystem::path& volume_device, std::string* name) {
  name->clear();
  platform::FileSystemProbe probe;
  if (ErrorCode rc = platform::ProbeFileSystem(volume_device, &probe); !rc.ok()) return rc;
  *name = platform::FileSystemDisplayName(probe);
  return name->empty() ? ErrorCode(err::kUnrecognizedMedia) : ErrorCode(err::kSuccess);
}

}  // namespace vexlo
