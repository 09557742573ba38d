#include "recovery/engine_factory.h"

#include <vector>

#include "filesystems/exfat/fast_exfat_recovery.h"
#include "filesystems/ext/fast_ext_recovery.h"
#include "filesystems/fat/fast_fat_recovery.h"
#include "filesystems/ntfs/fast_ntfs_recovery.h"
#include "recovery/professional_recovery.h"
#include "storage/partition_lookup.h"
#include "storage/sector_io.h"

namespace vexlo {
namespace {

// Reads the probe at `first_sector`; false unless all 16 KiB arrive.
bool ReadProbe(DiskHandle& disk, uint64_t first_sector, uint32_t sector_bytes,
               std::vector<uint8_t>* probe) {
  if (sector_bytes == 0 || kProbeBytes % sector_bytes != 0) return false;
  probe->assign(kProbeBytes, 0);
  uint64_t read = 0;
  const uint64_t count = kProbeBytes / sector_bytes;
  return ReadSectors(count, disk, probe->data(), first_sector, sector_bytes, &read).ok() &&
         read == count;
}

// Flushes the partition that starts at `first_sector` (or the whole disk), so
// that writes the system still caches reach the medium before the probe.
void FlushPartition(uint32_t disk_number, uint64_t first_sector, uint32_t sector_bytes,
                    const platform::SysfsRoots& roots) {
  if (const auto partition = FindPartitionAt(disk_number, first_sector, sector_bytes, roots)) {
    FlushVolume(partition->dev_path, roots);
    return;
  }
  const std::filesystem::path disk = platform::DiskDevicePath(disk_number, roots);
  if (!disk.empty()) FlushVolume(disk, roots);
}

std::unique_ptr<IFileRecoveryParse> EngineFor(ScanHistory& history, FileSystemType type,
                                              int32_t scan_mode) {
  if (scan_mode != kQuickScanMode) return std::make_unique<CProfessionalRecovery>(history);
  switch (type) {
    case FileSystemType::kFat:
      return std::make_unique<CFastFatRecovery>(history);
    case FileSystemType::kNtfs:
      return std::make_unique<CFastNtfsRecovery>(history);
    case FileSystemType::kExt:
      return std::make_unique<CFastExtRecovery>();
    case FileSystemType::kExFat:
      return std::make_unique<CFastExFatRecovery>(history);
    case FileSystemType::kOther:
      break;
  }
  return nullptr;
}

bool ProbePartition(uint32_t disk_number, uint64_t first_sector, const platform::SysfsRoots& roots,
                    FileSystemType* type) {
  DiskHandle disk;
  if (!OpenPhysicalDisk(disk_number, &disk, roots).ok() && !disk.is_open()) return false;
  const uint32_t sector_bytes = disk.device_sector_bytes;
  FlushPartition(disk_number, first_sector, sector_bytes, roots);
  std::vector<uint8_t> probe;
  *type = ReadProbe(disk, first_sector, sector_bytes, &probe) ? DetectFileSystem(probe)
                                                              : FileSystemType::kOther;
  return true;
}

bool ProbeImage(const std::filesystem::path& image_path, uint64_t first_sector,
                FileSystemType* type) {
  DiskHandle disk;
  if (!OpenImageFile(image_path, &disk).ok()) return false;
  std::vector<uint8_t> probe;
  *type =
      ReadProbe(disk, first_sector, 512, &probe) ? DetectFileSystem(probe) : FileSystemType::kOther;
  return true;
}

}  // namespace

std::unique_ptr<IFileRecoveryParse> CreateEngineForPartition(
    ScanHistory& history, uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
    uint16_t source_id, int32_t scan_mode, const platform::SysfsRoots& roots) {
  FileSystemType type = FileSystemType::kOther;
  if (!ProbePartition(disk_number, first_sector, roots, &type)) return nullptr;
  auto engine = EngineFor(history, type, scan_mode);
  if (engine) (void)engine->OpenPartition(disk_number, first_sector, sector_count, source_id);
  return engine;
}

std::unique_ptr<IFileRecoveryParse> CreateEngineForImage(ScanHistory& history,
                                                         const std::filesystem::path& image_path,
                                                         uint16_t source_id, int32_t scan_mode) {
  return CreateEngineForImage(history, image_path, 0, kToImageEnd, source_id, scan_mode);
}

std::unique_ptr<IFileRecoveryParse> CreateEngineForImage(ScanHistory& history,
                                                         const std::filesystem::path& image_path,
                                                         uint64_t first_sector,
                                                         uint64_t sector_count, uint16_t source_id,
                                                         int32_t scan_mode) {
  FileSystemType type = FileSystemType::kOther;
  if (!ProbeImage(image_path, first_sector, &type)) return nullptr;
  auto engine = EngineFor(history, type, scan_mode);
  if (engine) (void)engine->OpenImagePartition(image_path, first_sector, sector_count, source_id);
  return engine;
}

FileSystemType ProbePartitionType(uint32_t disk_number, uint64_t first_sector,
                                  const platform::SysfsRoots& roots) {
  FileSystemType type = FileSystemType::kOther;
  ProbePartition(disk_number, first_sector, roots, &type);
  return type;
}

FileSystemType ProbeImageType(const std::filesystem::path& image_path, uint64_t first_sector) {
  FileSystemType type = FileSystemType::kOther;
  ProbeImage(image_path, first_sector, &type);
  return type;
}

}  // namespace vexlo
