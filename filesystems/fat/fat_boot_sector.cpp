#include "filesystems/fat/fat_boot_sector.h"

#include <algorithm>
#include <bit>

#include "ondisk/boot_sector_layouts.h"
#include "ondisk/fat_dir_entry.h"

namespace vexlo::fat {
namespace {

// Microsoft's rule: the cluster count alone tells FAT12 from FAT16.
constexpr uint32_t kMaxFat12Clusters = 4084;

}  // namespace

uint32_t FatGeometry::ClustersWithin(uint64_t volume_sectors) const {
  if (volume_sectors <= data_start || sectors_per_cluster == 0) return 0;
  return static_cast<uint32_t>(
      std::min<uint64_t>(cluster_count, (volume_sectors - data_start) / sectors_per_cluster));
}

uint32_t FatGeometry::fat_entry_bits() const {
  return type == FatType::kFat12 ? 12 : type == FatType::kFat16 ? 16 : 32;
}

uint32_t FatGeometry::EndMarkMin() const {
  // The eight highest values an entry holds end a chain; FAT32 uses 28 of
  // its 32 bits.
  const uint32_t used_bits = type == FatType::kFat32 ? 28 : fat_entry_bits();
  return ((uint32_t{1} << used_bits) - 1) - 7;
}

ErrorCode ParseFatBootSector(std::span<const uint8_t> sector, FatGeometry* geometry) {
  *geometry = FatGeometry{};
  if (sector.size() < boot_sector::kBytes) return err::kUnrecognizedMedia;
  FatGeometry g;
  g.bytes_per_sector = bpb::kBytesPerSector.Load(sector);
  g.sectors_per_cluster = bpb::kSectorsPerCluster.Load(sector);
  g.reserved_sectors = bpb::kReservedSectors.Load(sector);
  g.fat_count = bpb::kFatCount.Load(sector);
  if (g.bytes_per_sector < 512 || g.bytes_per_sector > 4096 ||
      !std::has_single_bit(g.bytes_per_sector) || g.sectors_per_cluster == 0 ||
      !std::has_single_bit(g.sectors_per_cluster) || g.reserved_sectors == 0 || g.fat_count == 0) {
    return err::kUnrecognizedMedia;
  }
  g.cluster_bytes = g.bytes_per_sector * g.sectors_per_cluster;

  const uint32_t total32 = bpb::kTotalSectors32.Load(sector);
  g.total_sectors = total32 != 0 ? total32 : bpb::kTotalSectors16.Load(sector);

  const uint16_t fat16_size = bpb::kSectorsPerFat16.Load(sector);
  // The type text decides FAT32; a BPB without a 16-bit FAT size can only be
  // FAT32 as well, whatever its text says.
  const bool fat32 = bpb::kFat32TypeText.Holds(sector, "FAT32   ") || fat16_size == 0;
  uint64_t fats_end = 0;
  if (fat32) {
    g.type = FatType::kFat32;
    g.sectors_per_fat = bpb::kSectorsPerFat32.Load(sector);
    g.root_cluster = bpb::kRootCluster.Load(sector) & 0x0FFFFFFF;
    fats_end = g.reserved_sectors + uint64_t{g.fat_count} * g.sectors_per_fat;
    g.data_start = fats_end;
  } else {
    g.sectors_per_fat = fat16_size;
    fats_end = g.reserved_sectors + uint64_t{g.fat_count} * g.sectors_per_fat;
    // The root's size comes from its entry count; only a count that is
    // missing or leaves no room for data falls back to the usual 32 sectors.
    const uint32_t root_entries = bpb::kRootEntries.Load(sector);
    const auto entries_per_sector = static_cast<uint32_t>(g.bytes_per_sector / kDirEntryBytes);
    g.root_sectors = (root_entries + entries_per_sector - 1) / entries_per_sector;
    if (root_entries == 0 || fats_end + g.root_sectors >= g.total_sectors) {
      g.root_sectors = kFallbackRootSectors;
    }
    g.data_start = fats_end + g.root_sectors;
  }
  if (g.sectors_per_fat == 0 || g.data_start >= g.total_sectors) return err::kUnrecognizedMedia;

  uint64_t clusters = (g.total_sectors - g.data_start) / g.sectors_per_cluster;
  if (fat32) {
    // The FAT itself bounds the clusters it can describe.
    const uint64_t fat_entries = uint64_t{g.sectors_per_fat} * g.bytes_per_sector / 4;
    if (fat_entries < 3) return err::kUnrecognizedMedia;
    clusters = std::min<uint64_t>({clusters, fat_entries - 2, 0x0FFFFFF5});
  } else {
    g.type = clusters <= kMaxFat12Clusters ? FatType::kFat12 : FatType::kFat16;
    const uint64_t fat_entries =
        uint64_t{g.sectors_per_fat} * g.bytes_per_sector * 8 / g.fat_entry_bits();
    if (fat_entries < 3) return err::kUnrecognizedMedia;
    clusters = std::min<uint64_t>({clusters, fat_entries - 2, 0xFFF5});
  }
  if (clusters == 0) return err::kUnrecognizedMedia;
  g.cluster_count = static_cast<uint32_t>(clusters);
  if (fat32 && !g.IsValidCluster(g.root_cluster)) return err::kUnrecognizedMedia;
  *geometry = g;
  return err::kSuccess;
}

}  // namespace vexlo::fat
