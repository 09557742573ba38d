#include "storage/fs_detection.h"

#include <cstring>

namespace vexlo {
namespace {

constexpr std::size_t kBootSectorBytes = 512;
constexpr std::size_t kSuperblockBytes = 1024;

uint16_t Le16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t Le32(std::span<const uint8_t> b, std::size_t at) {
  return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}
uint64_t Le64(std::span<const uint8_t> b, std::size_t at) {
  return uint64_t{Le32(b, at)} | (uint64_t{Le32(b, at + 4)} << 32);
}

bool HasText(std::span<const uint8_t> b, std::size_t at, const char* text) {
  return std::memcmp(b.data() + at, text, std::strlen(text)) == 0;
}

bool IsPowerOfTwoClusterSize(uint8_t sectors_per_cluster) {
  return sectors_per_cluster != 0 && (sectors_per_cluster & (sectors_per_cluster - 1)) == 0;
}

bool HasBootSignature(std::span<const uint8_t> b) { return b[510] == 0x55 && b[511] == 0xAA; }

}  // namespace

bool IsNtfsBootSector(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes) return false;
  if (!HasText(b, 3, "NTFS    ")) return false;
  if (Le16(b, 11) % 512 != 0) return false;
  if (Le16(b, 14) != 0) return false;
  if (!IsPowerOfTwoClusterSize(b[13])) return false;
  if (Le64(b, 40) == 0) return false;
  for (std::size_t at : {16, 17, 18, 19, 20, 22, 23, 32, 33, 34, 35}) {
    if (b[at] != 0) return false;
  }
  return HasBootSignature(b);
}

bool IsLockedVolume(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes) return false;
  if (HasText(b, 3, "-FVE-FS-")) return true;
  for (std::size_t i = 0; i < 8; ++i) {
    if (b[480 + i] != 0x78) return false;
  }
  for (std::size_t i = 8; i < 27; ++i) {
    if (b[480 + i] != 0xFF) return false;
  }
  return b[507] == 0x00 && b[508] == 0x1F && b[509] == 0x2C;
}

bool IsFat1216Bpb(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes) return false;
  return b[16] != 0 && (Le16(b, 19) != 0 || Le32(b, 32) != 0) && IsPowerOfTwoClusterSize(b[13]) &&
         Le16(b, 22) >= 1 && HasBootSignature(b);
}

bool IsFat32Bpb(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes) return false;
  return HasText(b, 82, "FAT32   ") && b[16] != 0 && Le32(b, 32) != 0 &&
         IsPowerOfTwoClusterSize(b[13]) && Le32(b, 36) != 0 && HasBootSignature(b);
}

bool IsFatBootSector(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes || IsLockedVolume(b)) return false;
  uint32_t sectors_per_fat = Le16(b, 22);
  if (sectors_per_fat == 0) sectors_per_fat = Le32(b, 36);
  uint32_t total_sectors = Le32(b, 32);
  if (total_sectors == 0) total_sectors = Le16(b, 19);
  const uint16_t bytes_per_sector = Le16(b, 11);
  const uint8_t sectors_per_cluster = b[13];
  if (bytes_per_sector == 0 || bytes_per_sector % 512 != 0 || sectors_per_cluster == 0) {
    return false;
  }
  const uint32_t root_sectors = (uint32_t{Le16(b, 17)} * 32) / bytes_per_sector;
  // Unsigned 32-bit arithmetic on purpose: a BPB whose areas exceed the
  // volume wraps to a huge count and is refused by the range test below.
  const uint32_t cluster_count =
      (total_sectors - root_sectors - uint32_t{b[16]} * sectors_per_fat - Le16(b, 14)) /
      sectors_per_cluster;
  if (cluster_count >= 0x0FFFFFF0u) return false;
  if (cluster_count < 0xFFF5u) return IsFat1216Bpb(b) || IsFat32Bpb(b);
  return IsFat32Bpb(b) || IsFat1216Bpb(b);
}

bool IsExFatBootSector(std::span<const uint8_t> b) {
  if (b.size() < kBootSectorBytes || !HasText(b, 3, "EXFAT   ")) return false;
  // Where FAT keeps its BPB, exFAT must be zero: a FAT driver then sees no
  // valid volume instead of a damaged one.
  for (std::size_t at = 11; at < 64; ++at) {
    if (b[at] != 0) return false;
  }
  const uint8_t sector_shift = b[108];
  const uint8_t cluster_shift = b[109];
  if (sector_shift < 9 || sector_shift > 12 || cluster_shift > 25 - sector_shift) return false;
  const uint64_t volume_sectors = Le64(b, 72);
  const uint32_t fat_offset = Le32(b, 80);
  const uint32_t fat_length = Le32(b, 84);
  const uint32_t heap_offset = Le32(b, 88);
  if (b[110] != 1 && b[110] != 2) return false;
  if (fat_offset < 24 || fat_length == 0 || uint64_t{fat_offset} + fat_length > heap_offset ||
      heap_offset >= volume_sectors) {
    return false;
  }
  return HasBootSignature(b);
}

bool IsExtSuperblock(std::span<const uint8_t> s) {
  if (s.size() < kSuperblockBytes) return false;
  if (Le16(s, 0x38) != 0xEF53) return false;
  const uint32_t inodes = Le32(s, 0x00);
  const uint32_t blocks = Le32(s, 0x04);
  const uint32_t first_data_block = Le32(s, 0x14);
  const uint32_t block_size_shift = Le32(s, 0x18);
  const uint32_t blocks_per_group = Le32(s, 0x20);
  const uint32_t inodes_per_group = Le32(s, 0x28);
  const uint32_t first_inode = Le32(s, 0x54);
  if (inodes == 0 || blocks == 0 || blocks_per_group == 0 || inodes_per_group == 0 ||
      first_inode <= 2) {
    return false;
  }
  const uint32_t groups_by_blocks = (blocks - first_data_block - 1) / blocks_per_group + 1;
  const uint32_t groups_by_inodes = (inodes - 1) / inodes_per_group + 1;
  if (groups_by_blocks != groups_by_inodes) return false;
  const bool one_kib_blocks = (1024u << (block_size_shift % 32)) == 1024u;
  if (first_data_block != (one_kib_blocks ? 1u : 0u)) return false;
  return inodes > first_inode;
}

FileSystemType DetectFileSystem(std::span<const uint8_t> probe) {
  if (IsNtfsBootSector(probe)) return FileSystemType::kNtfs;
  if (IsExFatBootSector(probe)) return FileSystemType::kExFat;
  if (IsFatBootSector(probe)) return FileSystemType::kFat;
  if (probe.size() >= 2 * kSuperblockBytes && IsExtSuperblock(probe.subspan(kSuperblockBytes))) {
    return FileSystemType::kExt;
  }
  return FileSystemType::kOther;
}

}  // namespace vexlo
