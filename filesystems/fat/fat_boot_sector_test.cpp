#include "filesystems/fat/fat_boot_sector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vexlo::fat {
namespace {

struct Bpb {
  uint16_t bytes_per_sector = 512;
  uint8_t sectors_per_cluster = 4;
  uint16_t reserved = 1;
  uint8_t fats = 2;
  uint16_t root_entries = 512;
  uint16_t total16 = 0;
  uint16_t fat16_size = 0;
  uint32_t total32 = 0;
  uint32_t fat32_size = 0;
  uint32_t root_cluster = 0;
  const char* type_text = "FAT16   ";
};

std::vector<uint8_t> Encode(const Bpb& p) {
  std::vector<uint8_t> b(512, 0);
  auto put16 = [&](int at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    put16(at, static_cast<uint16_t>(v & 0xFFFF));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
  };
  put16(11, p.bytes_per_sector);
  b[13] = p.sectors_per_cluster;
  put16(14, p.reserved);
  b[16] = p.fats;
  put16(17, p.root_entries);
  put16(19, p.total16);
  put16(22, p.fat16_size);
  put32(32, p.total32);
  put32(36, p.fat32_size);
  put32(44, p.root_cluster);
  std::memcpy(&b[82], p.type_text, 8);
  return b;
}

TEST(FatBootSectorTest, DerivesGeometryOfEachVariant) {
  struct Case {
    const char* what;
    Bpb bpb;
    FatType type;
    uint32_t root_sectors;
    uint64_t data_start;
    uint32_t clusters;
  };
  const Case cases[] = {
      // 1.44 MB floppy: 224 root entries are 14 sectors, not 32.
      {"floppy", {512, 1, 1, 2, 224, 2880, 9, 0, 0, 0, "FAT12   "}, FatType::kFat12, 14, 33, 2847},
      {"fat16 512 entries",
       {512, 4, 4, 2, 512, 0, 200, 200000, 0, 0},
       FatType::kFat16,
       32,
       436,
       49891},
      // 4 KiB sectors: 512 entries take 4 sectors.
      {"fat16 4k sectors", {4096, 1, 1, 2, 512, 0, 40, 60000, 0, 0}, FatType::kFat16, 4, 85, 59915},
      {"root count 0 falls back",
       {512, 4, 1, 2, 0, 0, 200, 200000, 0, 0},
       FatType::kFat16,
       32,
       433,
       49891},
      {"fat32",
       {512, 8, 32, 2, 0, 0, 0, 1000000, 1000, 2, "FAT32   "},
       FatType::kFat32,
       0,
       2032,
       124746},
      {"fat32 without its type text",
       {512, 8, 32, 2, 0, 0, 0, 1000000, 1000, 2, "        "},
       FatType::kFat32,
       0,
       2032,
       124746},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FatGeometry g;
    ASSERT_EQ(ParseFatBootSector(Encode(c.bpb), &g), 0);
    EXPECT_EQ(g.type, c.type);
    EXPECT_EQ(g.root_sectors, c.root_sectors);
    EXPECT_EQ(g.data_start, c.data_start);
    EXPECT_EQ(g.cluster_count, c.clusters);
    EXPECT_EQ(g.root_start(), c.data_start - c.root_sectors);
  }
}

TEST(FatBootSectorTest, RefusesBootSectorsThatDescribeNoVolume) {
  struct Case {
    const char* what;
    Bpb bpb;
  };
  const Case cases[] = {
      {"sector size 0", {0, 4, 1, 2, 512, 0, 200, 200000}},
      {"sector size not a power of two", {1000, 4, 1, 2, 512, 0, 200, 200000}},
      {"sector size 8192", {8192, 4, 1, 2, 512, 0, 200, 200000}},
      {"cluster size 0", {512, 0, 1, 2, 512, 0, 200, 200000}},
      {"cluster size 3", {512, 3, 1, 2, 512, 0, 200, 200000}},
      {"no FAT", {512, 4, 1, 0, 512, 0, 200, 200000}},
      {"no reserved sector", {512, 4, 0, 2, 512, 0, 200, 200000}},
      {"FATs larger than the volume", {512, 4, 1, 2, 512, 0, 60000, 100000}},
      {"fat32 root outside the volume",
       {512, 8, 32, 2, 0, 0, 0, 1000000, 1000, 9999999, "FAT32   "}},
      {"fat32 without a FAT", {512, 8, 32, 2, 0, 0, 0, 1000000, 0, 2, "FAT32   "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FatGeometry g;
    EXPECT_EQ(ParseFatBootSector(Encode(c.bpb), &g), err::kUnrecognizedMedia);
  }
  FatGeometry g;
  EXPECT_EQ(ParseFatBootSector(std::vector<uint8_t>(100, 0), &g), err::kUnrecognizedMedia);
}

TEST(FatBootSectorTest, ClusterRangeIsBoundedByTheFat) {
  // A FAT of one sector describes 256 FAT16 entries, whatever the volume says.
  Bpb bpb{512, 1, 1, 1, 16, 0, 1, 500000, 0, 0};
  FatGeometry g;
  ASSERT_EQ(ParseFatBootSector(Encode(bpb), &g), 0);
  EXPECT_EQ(g.cluster_count, 254u);
  EXPECT_TRUE(g.IsValidCluster(255));
  EXPECT_FALSE(g.IsValidCluster(256));
  EXPECT_FALSE(g.IsValidCluster(1));
}

}  // namespace
}  // namespace vexlo::fat
