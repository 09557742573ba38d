#include "filesystems/fat/professional_fat_recovery.h"

#include <algorithm>
#include <system_error>

#include "carving/formats/signature_table.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"
#include "filesystems/fat/fat_boot_sector.h"
#include "filesystems/record_output.h"
#include "platform/file.h"
#include "storage/fs_detection.h"

namespace vexlo {
namespace {

// Largest cluster a record may claim; more is refused as a write fault.
constexpr int64_t kMaxClusterBytes = 104'857'600;

}  // namespace

CProfessionalFatRecovery::CProfessionalFatRecovery() = default;

CProfessionalFatRecovery::~CProfessionalFatRecovery() {
  store_.reset();
  CloseDiskHandle(disk_);
}

ErrorCode CProfessionalFatRecovery::OpenImage(const std::filesystem::path& image_path,
                                              uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenImageFile(image_path, &disk); !rc.ok()) return rc;
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), 0, sectors, source_id);
}

ErrorCode CProfessionalFatRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                                  uint64_t /*sector_count*/, uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk); !rc.ok()) {
    CloseDiskHandle(disk);
    return rc;
  }
  // Directories of an earlier, larger volume may lie anywhere on the disk,
  // so reads are bounded by the disk rather than by the partition.
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), first_sector, sectors, source_id);
}

ErrorCode CProfessionalFatRecovery::OpenOnDisk(DiskHandle disk, uint64_t partition_start,
                                               uint64_t partition_sectors, uint16_t source_id) {
  CloseDiskHandle(disk_);
  disk_ = std::move(disk);
  source_id_ = source_id;
  partition_start_ = partition_start;
  medium_sectors_ = std::min(disk_.total_sectors, partition_start + partition_sectors);
  if (disk_.device_sector_bytes > fat::kMaxRebuildSectorBytes) {
    open_ = false;
    return err::kNotSupported;
  }
  carving_.sector_bytes = disk_.device_sector_bytes;
  carving_.source = &disk_;
  open_ = true;
  return err::kSuccess;
}

ErrorCode CProfessionalFatRecovery::SetProgressCallbacks(ScanProgressCallback /*scan*/,
                                                         RecoveryProgressCallback recovery,
                                                         void* user, int32_t /*scale*/) {
  recovery_callback_ = recovery;
  user_ = user;
  return err::kSuccess;
}

ErrorCode CProfessionalFatRecovery::Scan(const std::string* /*earlier_record_file*/) {
  return err::kSuccess;
}

// ------------------------------------------------------------- the scan

ErrorCode CProfessionalFatRecovery::Begin(const std::string* earlier_record_file) {
  store_.reset();
  auto store = std::make_unique<ScanResultStore>();
  const std::string name = earlier_record_file != nullptr
                               ? *earlier_record_file
                               : ScanLogFileName(kProFatLogPrefix, partition_start_);
  if (ErrorCode rc = store->Open(ScanHistory::Instance().CurrentFolder(), name); !rc.ok()) {
    return rc;
  }
  store->SetSearchCallback(search_callback_, search_user_);
  store_ = std::move(store);
  carving_.ResetForScan();
  fat::RebuildSource source;
  source.disk = open_ ? &disk_ : nullptr;
  source.sector_bytes = disk_.device_sector_bytes;
  source.partition_start = partition_start_;
  source.medium_sectors = open_ ? medium_sectors_ : 0;
  source.source_id = source_id_;
  source.content_test = [this](std::span<const uint8_t> sector, std::string_view extension,
                               uint64_t number) {
    return carving::CheckTypeByExtension(carving_, sector.data(), sector.size(), extension, &disk_,
                                         disk_.device_sector_bytes, number);
  };
  rebuilder_.Reset(source, store_.get());
  return err::kSuccess;
}

ErrorCode CProfessionalFatRecovery::Seed() {
  if (!open_ || !store_) return err::kInvalidParameter;
  const uint32_t sector_bytes = disk_.device_sector_bytes;
  std::vector<uint8_t> boot(fat::kBootSectorReadBytes, 0);
  const uint64_t want = std::min<uint64_t>(
      boot.size() / sector_bytes, medium_sectors_ - std::min(medium_sectors_, partition_start_));
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, disk_, boot.data(), partition_start_, sector_bytes, &sectors_read);
  if (sectors_read * sector_bytes < 512) return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  fat::FatGeometry parsed;
  if (!IsFatBootSector(boot) || !fat::ParseFatBootSector(boot, &parsed).ok()) return err::kSuccess;
  // The layout counts in the medium's sectors, which may be smaller than the
  // volume's.
  if (parsed.bytes_per_sector % sector_bytes != 0) return err::kSuccess;
  const uint32_t factor = parsed.bytes_per_sector / sector_bytes;
  fat::DirectoryGeometry geometry;
  geometry.sectors_per_cluster = parsed.sectors_per_cluster * factor;
  geometry.first_data_sector = parsed.data_start * factor;
  geometry.partition_start = partition_start_;
  geometry.fat32 = parsed.is_fat32();
  rebuilder_.AddKnownGeometry(geometry, parsed.is_fat32() ? parsed.root_cluster : 0);
  return err::kSuccess;
}

void CProfessionalFatRecovery::DirectoryStart(std::span<const uint8_t> sector,
                                              uint64_t sector_number) {
  if (store_) rebuilder_.DirectoryStart(sector, sector_number);
}

void CProfessionalFatRecovery::DirectoryData(std::span<const uint8_t> sector,
                                             uint64_t sector_number) {
  if (store_) rebuilder_.DirectoryData(sector, sector_number);
}

ErrorCode CProfessionalFatRecovery::Finish() {
  if (!store_) return err::kInvalidParameter;
  return rebuilder_.Finish();
}

// ------------------------------------------------------------- queries

ErrorCode CProfessionalFatRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                               std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, 0, out);
}

ErrorCode CProfessionalFatRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                               uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, 0, count);
}

uint64_t CProfessionalFatRecovery::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode CProfessionalFatRecovery::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode CProfessionalFatRecovery::SetSearchCallback(SearchProgressCallback callback, void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode CProfessionalFatRecovery::FindFiles(std::string_view type_filter,
                                              std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

int32_t CProfessionalFatRecovery::NextFreeRange(uint64_t* /*sector*/,
                                                uint64_t* /*length_sectors*/) {
  return 0;
}

ErrorCode CProfessionalFatRecovery::BuildUsedClusterBitmap() { return err::kSuccess; }

// ------------------------------------------------------------- data

ErrorCode CProfessionalFatRecovery::DataExtent(const FoundFileRecord& record,
                                               ContiguousExtent* extent) const {
  const int64_t cluster_bytes = record.cluster_bytes;
  const uint32_t sector_bytes = disk_.device_sector_bytes;
  if (cluster_bytes > kMaxClusterBytes) return err::kWriteFault;
  if (!open_ || cluster_bytes <= 0 || cluster_bytes % sector_bytes != 0) {
    return err::kInvalidParameter;
  }
  const uint64_t cluster_sectors = static_cast<uint64_t>(cluster_bytes) / sector_bytes;
  const uint64_t base = record.partition_start + record.data_start;
  if (base < record.partition_start) return err::kInvalidParameter;
  uint64_t first = 0;
  if (record.key == 0) {
    // The fixed FAT12/16 root.
    if (base < record.partition_start + fat::kFixedRootSectors) return err::kInvalidParameter;
    first = base - fat::kFixedRootSectors;
  } else if (record.key >= 2) {
    first = base + (uint64_t{record.key} - 2) * cluster_sectors;
    if (first < base) return err::kInvalidParameter;
  } else {
    return err::kInvalidParameter;
  }
  *extent = ContiguousExtent{first, record.size, sector_bytes};
  return err::kSuccess;
}

ErrorCode CProfessionalFatRecovery::CopyFile(const FoundFileRecord& record,
                                             const std::filesystem::path& destination) {
  const std::string shown = destination.string();
  ContiguousExtent extent{};
  if (ErrorCode rc = DataExtent(record, &extent); !rc.ok()) {
    if (recovery_callback_ != nullptr) (void)recovery_callback_(user_, 100, 100, rc, shown.c_str());
    return rc;
  }
  ErrorCode rc = CopyContiguousToFile(disk_, extent, destination, recovery_callback_, user_);
  // An empty file is finished at once, and the window must hear so.
  if (rc.ok() && extent.size_bytes == 0 && recovery_callback_ != nullptr) {
    rc = recovery_callback_(user_, 100, 100, 0, shown.c_str());
  }
  return rc;
}

ErrorCode CProfessionalFatRecovery::RecoverFile(const FoundFileRecord& record,
                                                const std::filesystem::path& destination,
                                                uint32_t /*root_separator_count*/) {
  if (record.is_folder != 0) {
    return CopyFolderTree(store_.get(), record, destination,
                          [this](const FoundFileRecord& file, const std::filesystem::path& path) {
                            return CopyFile(file, path);
                          });
  }
  return CopyFile(record, destination);
}

ErrorCode CProfessionalFatRecovery::ExtractForPreview(const FoundFileRecord& record,
                                                      std::string* path, uint8_t* buffer,
                                                      uint32_t* byte_count,
                                                      PreviewProgressCallback callback,
                                                      void* user) {
  path->clear();
  ContiguousExtent extent{};
  ErrorCode rc =
      record.is_folder != 0 ? ErrorCode(err::kInvalidParameter) : DataExtent(record, &extent);
  if (!rc.ok()) {
    *byte_count = 0;
    if (callback != nullptr) (void)callback(user, 100, rc);
    return rc;
  }
  const std::filesystem::path target = PreviewTargetFor(record.Name());
  rc = ExtractContiguous(disk_, extent, ExtractTarget{target, buffer, byte_count}, callback, user);
  if (rc.ok() && !target.empty()) *path = target.string();
  return rc;
}

}  // namespace vexlo
