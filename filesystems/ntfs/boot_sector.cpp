#include "filesystems/ntfs/boot_sector.h"

#include <bit>

#include "ondisk/boot_sector_layouts.h"

namespace vexlo::ntfs {
namespace {

constexpr uint32_t kMaxClusterBytes = 2u << 20;
constexpr uint32_t kMinRecordBytes = 512;
constexpr uint32_t kMaxRecordBytes = 65536;

// The signed size bytes of the boot sector: positive counts units, negative
// gives a power of two directly.
uint64_t DecodeSizeByte(uint8_t raw, uint64_t unit_bytes, bool* power_of_two_bytes) {
  const auto value = static_cast<int8_t>(raw);
  *power_of_two_bytes = value < 0;
  if (value < 0) return -value >= 32 ? 0 : uint64_t{1} << -value;
  return uint64_t(value) * unit_bytes;
}

}  // namespace

bool ParseBootSector(std::span<const uint8_t> sector, NtfsGeometry* geometry) {
  if (sector.size() < boot_sector::kBytes) return false;
  uint32_t sector_bytes = boot::kBytesPerSector.Load(sector);
  if (sector_bytes == 0) sector_bytes = 512;
  if (!std::has_single_bit(sector_bytes) || sector_bytes < 256 || sector_bytes > 4096) return false;

  bool shifted = false;
  uint64_t sectors_per_cluster = DecodeSizeByte(boot::kSectorsPerCluster.Load(sector), 1, &shifted);
  if (sectors_per_cluster == 0 || !std::has_single_bit(sectors_per_cluster) ||
      sectors_per_cluster * sector_bytes > kMaxClusterBytes) {
    return false;
  }
  const uint64_t mft_cluster = boot::kMftCluster.Load(sector);
  if (mft_cluster == 0) return false;

  const uint64_t cluster_bytes = sectors_per_cluster * sector_bytes;
  uint64_t record_bytes = DecodeSizeByte(boot::kRecordSize.Load(sector), cluster_bytes, &shifted);
  if (record_bytes < kMinRecordBytes || record_bytes > kMaxRecordBytes ||
      !std::has_single_bit(record_bytes)) {
    record_bytes = sector_bytes == 512 ? 1024 : sector_bytes;
  }

  geometry->sector_bytes = sector_bytes;
  geometry->sectors_per_cluster = static_cast<uint32_t>(sectors_per_cluster);
  geometry->cluster_bytes = static_cast<uint32_t>(cluster_bytes);
  geometry->record_bytes = static_cast<uint32_t>(record_bytes);
  geometry->mft_first_cluster = mft_cluster;
  geometry->total_sectors = boot::kTotalSectors.Load(sector);
  return true;
}

}  // namespace vexlo::ntfs
