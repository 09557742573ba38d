#include "storage/fs_detection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ondisk/endian.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

// The first 16 KiB of an image file formatted by a Debian tool.
std::vector<uint8_t> ProbeOfFormatted(const std::string& format_command, uint64_t size_mib) {
  testing::TempDir dir;
  const auto image = dir / "volume.img";
  const std::string create =
      "truncate -s " + std::to_string(size_mib) + "M '" + image.string() + "'";
  if (std::system(create.c_str()) != 0) return {};
  const std::string format = format_command + " '" + image.string() + "' >/dev/null 2>&1";
  if (std::system(format.c_str()) != 0) return {};
  std::ifstream in(image, std::ios::binary);
  std::vector<uint8_t> probe(kProbeBytes);
  in.read(reinterpret_cast<char*>(probe.data()), static_cast<std::streamsize>(probe.size()));
  return probe;
}

TEST(FsDetectionTest, VolumesMadeByDebianTools) {
  struct Case {
    const char* command;
    uint64_t size_mib;
    FileSystemType type;
  };
  const Case cases[] = {
      {"mkfs.fat -F 12", 4, FileSystemType::kFat},
      {"mkfs.fat -F 16", 32, FileSystemType::kFat},
      {"mkfs.fat -F 32", 64, FileSystemType::kFat},
      {"mkfs.fat -F 32 -S 4096", 256, FileSystemType::kFat},
      {"mkntfs -F -Q -q", 16, FileSystemType::kNtfs},
      {"mkfs.ext4 -q -F", 16, FileSystemType::kExt},
      {"mkfs.ext2 -q -F -b 1024", 8, FileSystemType::kExt},
      {"mkfs.exfat", 8, FileSystemType::kExFat},
      {"mkfs.exfat -c 128K", 64, FileSystemType::kExFat},
      {"true", 1, FileSystemType::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const auto probe = ProbeOfFormatted(c.command, c.size_mib);
    ASSERT_EQ(probe.size(), kProbeBytes);
    EXPECT_EQ(DetectFileSystem(probe), c.type);
  }
}

std::vector<uint8_t> NtfsBoot(uint8_t sectors_per_cluster) {
  std::vector<uint8_t> b(512, 0);
  std::memcpy(&b[3], "NTFS    ", 8);
  StoreLe16(b, 11, 512);
  b[13] = sectors_per_cluster;
  StoreLe32(b, 40, 1'000'000);
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

TEST(FsDetectionTest, NtfsClusterSizes) {
  const std::pair<uint8_t, bool> cases[] = {
      {1, true}, {8, true}, {128, true}, {0, false}, {3, false}};
  for (const auto& [spc, accepted] : cases) {
    EXPECT_EQ(IsNtfsBootSector(NtfsBoot(spc)), accepted) << int{spc};
  }
  auto with_fat_fields = NtfsBoot(8);
  with_fat_fields[16] = 2;  // a FAT count makes it no NTFS boot sector
  EXPECT_FALSE(IsNtfsBootSector(with_fat_fields));
}

// A FAT32 boot sector; the 16-bit sectors-per-FAT is 0 as on every FAT32.
std::vector<uint8_t> Fat32Boot(uint32_t total_sectors, uint32_t sectors_per_fat) {
  std::vector<uint8_t> b(512, 0);
  std::memcpy(&b[3], "MSDOS5.0", 8);
  StoreLe16(b, 11, 512);
  b[13] = 8;
  StoreLe16(b, 14, 32);
  b[16] = 2;
  StoreLe32(b, 32, total_sectors);
  StoreLe32(b, 36, sectors_per_fat);
  std::memcpy(&b[82], "FAT32   ", 8);
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

TEST(FsDetectionTest, FatEdgeCases) {
  // Small FAT32 whose cluster count would also fit FAT16: still FAT.
  EXPECT_TRUE(IsFatBootSector(Fat32Boot(200'000, 200)));

  auto locked = Fat32Boot(200'000, 200);
  std::memcpy(&locked[3], "-FVE-FS-", 8);
  EXPECT_TRUE(IsLockedVolume(locked));
  EXPECT_FALSE(IsFatBootSector(locked));

  auto to_go = Fat32Boot(200'000, 200);
  std::memset(&to_go[480], 0x78, 8);
  std::memset(&to_go[488], 0xFF, 19);
  to_go[507] = 0x00;
  to_go[508] = 0x1F;
  to_go[509] = 0x2C;
  EXPECT_TRUE(IsLockedVolume(to_go));
  EXPECT_FALSE(IsFatBootSector(to_go));

  // Cluster count reaching 0x0FFFFFF0 with one sector per cluster.
  auto huge = Fat32Boot(0x0FFFFFF0u + 32 + 2 * 1000, 1000);
  huge[13] = 1;
  EXPECT_FALSE(IsFatBootSector(huge));
  huge = Fat32Boot(0x0FFFFFEFu + 32 + 2 * 1000, 1000);
  huge[13] = 1;
  EXPECT_TRUE(IsFatBootSector(huge));

  auto odd_sector = Fat32Boot(200'000, 200);
  StoreLe16(odd_sector, 11, 520);
  EXPECT_FALSE(IsFatBootSector(odd_sector));
}

std::vector<uint8_t> ExFatBoot() {
  std::vector<uint8_t> b(512, 0);
  std::memcpy(&b[3], "EXFAT   ", 8);
  StoreLe32(b, 72, 131072);  // volume sectors (low half)
  StoreLe32(b, 80, 128);     // FAT offset
  StoreLe32(b, 84, 64);      // FAT length
  StoreLe32(b, 88, 256);     // cluster heap offset
  b[108] = 9;
  b[109] = 3;
  b[110] = 1;
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

TEST(FsDetectionTest, ExFatBootSectorFields) {
  struct Case {
    const char* what;
    std::size_t at;
    uint8_t value;
    bool accepted;
  };
  const Case cases[] = {
      {"as built", 0, 0, true},
      {"4 KiB sectors", 108, 12, true},
      {"sector shift below 512 bytes", 108, 8, false},
      {"sector shift above 4 KiB", 108, 13, false},
      {"cluster of 32 MiB", 109, 16, true},
      {"cluster above 32 MiB", 109, 17, false},
      {"no FAT", 110, 0, false},
      {"three FATs", 110, 3, false},
      {"byte in the zero area", 40, 1, false},
      {"last byte of the zero area", 63, 1, false},
      {"FAT inside the boot region", 80, 8, false},
      {"FAT running into the heap", 84, 200, false},
      {"heap past the volume", 90, 0x10, false},
      {"no signature", 511, 0, false},
      {"wrong name", 3, 'F', false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto b = ExFatBoot();
    if (c.at != 0) b[c.at] = c.value;
    EXPECT_EQ(IsExFatBootSector(b), c.accepted);
    EXPECT_FALSE(IsFatBootSector(b)) << "exFAT must never pass for FAT";
    EXPECT_EQ(DetectFileSystem(b), c.accepted ? FileSystemType::kExFat : FileSystemType::kOther);
  }
}

TEST(FsDetectionTest, ShortBuffersNeverMatch) {
  const std::vector<uint8_t> tiny(100, 0);
  EXPECT_FALSE(IsNtfsBootSector(tiny));
  EXPECT_FALSE(IsFatBootSector(tiny));
  EXPECT_FALSE(IsExtSuperblock(tiny));
  EXPECT_FALSE(IsExFatBootSector(tiny));
  EXPECT_EQ(DetectFileSystem(tiny), FileSystemType::kOther);
}

}  // namespace
}  // namespace vexlo
