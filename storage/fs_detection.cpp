#include "storage/fs_detection.h"

#include <algorithm>
#include <iterator>

#include "ondisk/boot_sector_layouts.h"
#include "ondisk/ext_superblock_layout.h"

namespace vexlo {
namespace {

namespace bpb = fat::bpb;
namespace exfat_boot = exfat::boot;
namespace ntfs_boot = ntfs::boot;
namespace superblock = ext::superblock;

// BitLocker To Go leaves an identification pattern near the end of the
// boot sector of the FAT volume it presents to older systems.
constexpr std::size_t kLockedMarkOffset = 480;
constexpr std::size_t kLockedMarkFill = 8;   // bytes 0x78
constexpr std::size_t kLockedMarkOnes = 19;  // then bytes 0xFF
constexpr uint8_t kLockedMarkTail[] = {0x00, 0x1F, 0x2C};

// The FAT fields that NTFS has no use for and keeps zero.
bool FatOnlyFieldsZero(std::span<const uint8_t> b) {
  return bpb::kFatCount.Load(b) == 0 && bpb::kRootEntries.Load(b) == 0 &&
         bpb::kTotalSectors16.Load(b) == 0 && bpb::kSectorsPerFat16.Load(b) == 0 &&
         bpb::kTotalSectors32.Load(b) == 0;
}

bool IsPowerOfTwoClusterSize(uint8_t sectors_per_cluster) {
  return sectors_per_cluster != 0 && (sectors_per_cluster & (sectors_per_cluster - 1)) == 0;
}

}  // namespace

bool IsNtfsBootSector(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes) return false;
  if (!boot_sector::kOemName.Holds(b, "NTFS    ")) return false;
  if (ntfs_boot::kBytesPerSector.Load(b) % 512 != 0) return false;
  if (ntfs_boot::kReservedSectors.Load(b) != 0) return false;
  if (!IsPowerOfTwoClusterSize(ntfs_boot::kSectorsPerCluster.Load(b))) return false;
  if (ntfs_boot::kTotalSectors.Load(b) == 0) return false;
  return FatOnlyFieldsZero(b) && boot_sector::HasSignature(b);
}

bool IsLockedVolume(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes) return false;
  if (boot_sector::kOemName.Holds(b, "-FVE-FS-")) return true;
  const auto mark = b.subspan(kLockedMarkOffset);
  for (std::size_t i = 0; i < kLockedMarkFill; ++i) {
    if (mark[i] != 0x78) return false;
  }
  for (std::size_t i = kLockedMarkFill; i < kLockedMarkFill + kLockedMarkOnes; ++i) {
    if (mark[i] != 0xFF) return false;
  }
  return std::equal(std::begin(kLockedMarkTail), std::end(kLockedMarkTail),
                    mark.begin() + kLockedMarkFill + kLockedMarkOnes);
}

bool IsFat1216Bpb(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes) return false;
  return bpb::kFatCount.Load(b) != 0 &&
         (bpb::kTotalSectors16.Load(b) != 0 || bpb::kTotalSectors32.Load(b) != 0) &&
         IsPowerOfTwoClusterSize(bpb::kSectorsPerCluster.Load(b)) &&
         bpb::kSectorsPerFat16.Load(b) >= 1 && boot_sector::HasSignature(b);
}

bool IsFat32Bpb(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes) return false;
  return bpb::kFat32TypeText.Holds(b, "FAT32   ") && bpb::kFatCount.Load(b) != 0 &&
         bpb::kTotalSectors32.Load(b) != 0 &&
         IsPowerOfTwoClusterSize(bpb::kSectorsPerCluster.Load(b)) &&
         bpb::kSectorsPerFat32.Load(b) != 0 && boot_sector::HasSignature(b);
}

bool IsFatBootSector(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes || IsLockedVolume(b)) return false;
  uint32_t sectors_per_fat = bpb::kSectorsPerFat16.Load(b);
  if (sectors_per_fat == 0) sectors_per_fat = bpb::kSectorsPerFat32.Load(b);
  uint32_t total_sectors = bpb::kTotalSectors32.Load(b);
  if (total_sectors == 0) total_sectors = bpb::kTotalSectors16.Load(b);
  const uint16_t bytes_per_sector = bpb::kBytesPerSector.Load(b);
  const uint8_t sectors_per_cluster = bpb::kSectorsPerCluster.Load(b);
  if (bytes_per_sector == 0 || bytes_per_sector % 512 != 0 || sectors_per_cluster == 0) {
    return false;
  }
  const uint32_t root_sectors = (uint32_t{bpb::kRootEntries.Load(b)} * 32) / bytes_per_sector;
  // Unsigned 32-bit arithmetic on purpose: a BPB whose areas exceed the
  // volume wraps to a huge count and is refused by the range test below.
  const uint32_t cluster_count =
      (total_sectors - root_sectors - uint32_t{bpb::kFatCount.Load(b)} * sectors_per_fat -
       bpb::kReservedSectors.Load(b)) /
      sectors_per_cluster;
  if (cluster_count >= 0x0FFFFFF0u) return false;
  if (cluster_count < 0xFFF5u) return IsFat1216Bpb(b) || IsFat32Bpb(b);
  return IsFat32Bpb(b) || IsFat1216Bpb(b);
}

bool IsExFatBootSector(std::span<const uint8_t> b) {
  if (b.size() < boot_sector::kBytes || !boot_sector::kOemName.Holds(b, "EXFAT   ")) return false;
  // Where FAT keeps its BPB, exFAT must be zero: a FAT driver then sees no
  // valid volume instead of a damaged one.
  if (!exfat_boot::kZeroedBpb.IsZero(b)) return false;
  const uint8_t sector_shift = exfat_boot::kBytesPerSectorShift.Load(b);
  const uint8_t cluster_shift = exfat_boot::kSectorsPerClusterShift.Load(b);
  if (sector_shift < 9 || sector_shift > 12 || cluster_shift > 25 - sector_shift) return false;
  const uint64_t volume_sectors = exfat_boot::kVolumeLength.Load(b);
  const uint32_t fat_offset = exfat_boot::kFatOffset.Load(b);
  const uint32_t fat_length = exfat_boot::kFatLength.Load(b);
  const uint32_t heap_offset = exfat_boot::kClusterHeapOffset.Load(b);
  const uint8_t fat_count = exfat_boot::kFatCount.Load(b);
  if (fat_count != 1 && fat_count != 2) return false;
  if (fat_offset < 24 || fat_length == 0 || uint64_t{fat_offset} + fat_length > heap_offset ||
      heap_offset >= volume_sectors) {
    return false;
  }
  return boot_sector::HasSignature(b);
}

bool IsExtSuperblock(std::span<const uint8_t> s) {
  if (s.size() < superblock::kBytes) return false;
  if (superblock::kMagic.Load(s) != superblock::kMagicValue) return false;
  const uint32_t inodes = superblock::kInodeCount.Load(s);
  const uint32_t blocks = superblock::kBlockCount.Load(s);
  const uint32_t first_data_block = superblock::kFirstDataBlock.Load(s);
  const uint32_t block_size_shift = superblock::kLogBlockSize.Load(s);
  const uint32_t blocks_per_group = superblock::kBlocksPerGroup.Load(s);
  const uint32_t inodes_per_group = superblock::kInodesPerGroup.Load(s);
  const uint32_t first_inode = superblock::kFirstInode.Load(s);
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
  if (probe.size() >= superblock::kOffset + superblock::kBytes &&
      IsExtSuperblock(probe.subspan(superblock::kOffset))) {
    return FileSystemType::kExt;
  }
  return FileSystemType::kOther;
}

}  // namespace vexlo
