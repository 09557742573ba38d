#include "filesystems/fat/professional_fat_recovery.h"

#include <algorithm>

#include "carving/formats/signature_table.h"
#include "filesystems/fat/fat_boot_sector.h"
#include "storage/fs_detection.h"

namespace vexlo {
namespace {

// Largest cluster a record may claim; more is refused as a write fault.
constexpr int64_t kMaxClusterBytes = 104'857'600;

}  // namespace

CProfessionalFatRecovery::CProfessionalFatRecovery(ScanHistory& history)
    : FormattedScanEngine(history, kProFatLogPrefix, /*count_root_key=*/0) {}

ErrorCode CProfessionalFatRecovery::AcceptSource() {
  return sector_bytes() > fat::kMaxRebuildSectorBytes ? ErrorCode(err::kNotSupported)
                                                      : ErrorCode(err::kSuccess);
}

// ------------------------------------------------------------- the scan

ErrorCode CProfessionalFatRecovery::Begin(const std::string* earlier_record_file) {
  if (ErrorCode rc = StartScan(earlier_record_file); !rc.ok()) return rc;
  fat::RebuildSource source;
  source.disk = opened() ? &disk() : nullptr;
  source.sector_bytes = sector_bytes();
  source.partition_start = partition_start();
  source.medium_sectors = opened() ? medium_sectors() : 0;
  source.source_id = source_id();
  source.content_test = [this](std::span<const uint8_t> sector, std::string_view extension,
                               uint64_t number) {
    return carving::CheckTypeByExtension(carving(), sector.data(), sector.size(), extension,
                                         &disk(), sector_bytes(), number);
  };
  rebuilder_.Reset(source, store());
  return err::kSuccess;
}

ErrorCode CProfessionalFatRecovery::Seed() {
  if (!opened() || store() == nullptr) return err::kInvalidParameter;
  const uint32_t sector_bytes = this->sector_bytes();
  std::vector<uint8_t> boot(fat::kBootSectorReadBytes, 0);
  const uint64_t want = std::min<uint64_t>(
      boot.size() / sector_bytes, medium_sectors() - std::min(medium_sectors(), partition_start()));
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, disk(), boot.data(), partition_start(), sector_bytes, &sectors_read);
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
  geometry.partition_start = partition_start();
  geometry.fat32 = parsed.is_fat32();
  rebuilder_.AddKnownGeometry(geometry, parsed.is_fat32() ? parsed.root_cluster : 0);
  return err::kSuccess;
}

void CProfessionalFatRecovery::DirectoryStart(std::span<const uint8_t> sector,
                                              uint64_t sector_number) {
  if (store() != nullptr) rebuilder_.DirectoryStart(sector, sector_number);
}

void CProfessionalFatRecovery::DirectoryData(std::span<const uint8_t> sector,
                                             uint64_t sector_number) {
  if (store() != nullptr) rebuilder_.DirectoryData(sector, sector_number);
}

ErrorCode CProfessionalFatRecovery::Finish() {
  if (store() == nullptr) return err::kInvalidParameter;
  return rebuilder_.Finish();
}

// ------------------------------------------------------------- data

ErrorCode CProfessionalFatRecovery::DataExtent(const FoundFileRecord& record,
                                               ContiguousExtent* extent) const {
  const int64_t cluster_bytes = record.cluster_bytes;
  const uint32_t sector_bytes = this->sector_bytes();
  if (cluster_bytes > kMaxClusterBytes) return err::kWriteFault;
  if (!opened() || cluster_bytes <= 0 || cluster_bytes % sector_bytes != 0) {
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

ErrorCode CProfessionalFatRecovery::CheckRecordData(const FoundFileRecord& record) {
  ContiguousExtent extent{};
  return DataExtent(record, &extent);
}

ErrorCode CProfessionalFatRecovery::ReadRecordData(const FoundFileRecord& record,
                                                   uint64_t max_bytes, const RecordDataSink& sink) {
  ContiguousExtent extent{};
  if (ErrorCode rc = DataExtent(record, &extent); !rc.ok()) return rc;
  return ReadContiguous(disk(), extent, max_bytes, sink);
}

}  // namespace vexlo
