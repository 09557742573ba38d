#include "filesystems/fat/fat_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "filesystems/fat/fat_cluster_bitmap.h"

namespace vexlo::fat {
namespace {

// A FAT of `sectors` 512-byte sectors at sector 1 of an in-memory disk.
class FatTableTest : public ::testing::Test {
 protected:
  void Make(FatType type, uint32_t sectors, uint32_t clusters) {
    geometry_.type = type;
    geometry_.bytes_per_sector = 512;
    geometry_.sectors_per_cluster = 1;
    geometry_.cluster_bytes = 512;
    geometry_.reserved_sectors = 1;
    geometry_.fat_count = 1;
    geometry_.sectors_per_fat = sectors;
    geometry_.data_start = 1 + sectors;
    geometry_.cluster_count = clusters;
    bytes_.assign((1 + uint64_t{sectors}) * 512, 0);
  }
  void Set(uint32_t cluster, uint32_t value) {
    uint8_t* fat = bytes_.data() + 512;
    switch (geometry_.type) {
      case FatType::kFat12: {
        uint8_t* at = fat + cluster * 3 / 2;
        if (cluster & 1) {
          at[0] = static_cast<uint8_t>((at[0] & 0x0F) | ((value & 0x0F) << 4));
          at[1] = static_cast<uint8_t>(value >> 4);
        } else {
          at[0] = static_cast<uint8_t>(value);
          at[1] = static_cast<uint8_t>((at[1] & 0xF0) | ((value >> 8) & 0x0F));
        }
        break;
      }
      case FatType::kFat16:
        fat[cluster * 2] = static_cast<uint8_t>(value);
        fat[cluster * 2 + 1] = static_cast<uint8_t>(value >> 8);
        break;
      case FatType::kFat32:
        for (int i = 0; i < 4; ++i) fat[cluster * 4 + i] = static_cast<uint8_t>(value >> (8 * i));
        break;
    }
  }
  FatTable& Open() {
    auto source = std::make_unique<platform::MemorySectorSource>(bytes_);
    source_ = source.get();
    EXPECT_EQ(OpenDiskFromSource(std::move(source), &disk_), 0);
    table_.Open(&disk_, 1, geometry_);
    return table_;
  }

  FatGeometry geometry_;
  std::vector<uint8_t> bytes_;
  DiskHandle disk_;
  platform::MemorySectorSource* source_ = nullptr;
  FatTable table_;
};

TEST_F(FatTableTest, ChainStepsOnEveryWidth) {
  struct Case {
    FatType type;
    uint32_t end_mark;
    uint32_t bad_mark;
  };
  for (const Case c : {Case{FatType::kFat12, 0xFFF, 0xFF7}, Case{FatType::kFat16, 0xFFF8, 0xFFF7},
                       Case{FatType::kFat32, 0x0FFFFFFF, 0x0FFFFFF7}}) {
    SCOPED_TRACE(static_cast<int>(c.type));
    Make(c.type, 8, 500);
    Set(2, 3);  // 2 -> 3 -> end
    Set(3, c.end_mark);
    Set(4, 0);  // free, next free: continues into 5
    Set(5, 0);
    Set(6, 0);  // free, but 7 is used: the chain ends
    Set(7, 9);
    Set(9, c.bad_mark);                                       // bad cluster mark: no next cluster
    Set(10, 10);                                              // points at itself
    Set(11, 700);                                             // beyond the volume
    Set(12, 1);                                               // reserved value
    if (c.type == FatType::kFat32) Set(13, 0xF0000000 | 14);  // high bits ignored
    FatTable& fat = Open();
    EXPECT_EQ(fat.NextCluster(2), 3u);
    EXPECT_EQ(fat.NextCluster(3), 0u);
    EXPECT_EQ(fat.NextCluster(4), 5u);
    EXPECT_EQ(fat.NextCluster(6), 0u);
    EXPECT_EQ(fat.NextCluster(7), 9u);
    EXPECT_EQ(fat.NextCluster(9), 0u);
    EXPECT_EQ(fat.NextCluster(10), 0u);
    EXPECT_EQ(fat.NextCluster(11), 0u);
    EXPECT_EQ(fat.NextCluster(12), 0u);
    EXPECT_EQ(fat.NextCluster(501), 0u);  // the last cluster has no free successor
    EXPECT_EQ(fat.NextCluster(5000), 0u);
    if (c.type == FatType::kFat32) {
      EXPECT_EQ(fat.NextCluster(13), 14u);
    }
    uint32_t value = 0;
    EXPECT_EQ(fat.Lookup(502, &value), err::kInvalidParameter);
  }
}

TEST_F(FatTableTest, WindowReloadsBeyondSixteenMebibytes) {
  // 40,000 sectors of FAT32: more than one window.
  const uint32_t sectors = 40000;
  const uint32_t clusters = sectors * 128 - 2;
  Make(FatType::kFat32, sectors, clusters);
  const uint32_t far = kFatWindowBytes / 4 + 1000;
  Set(3, far);
  Set(far, 4);
  Set(4, 0x0FFFFFFF);
  FatTable& fat = Open();
  EXPECT_EQ(fat.NextCluster(3), far);
  EXPECT_EQ(fat.NextCluster(far), 4u);  // back into the first window
  EXPECT_EQ(fat.NextCluster(4), 0u);
  // The very end of the table: the last entry is read, nothing lies past it.
  EXPECT_EQ(fat.NextCluster(clusters), clusters + 1);
  EXPECT_EQ(fat.NextCluster(clusters + 1), 0u);
}

TEST_F(FatTableTest, UnreadableFatEndsChainsQuietly) {
  Make(FatType::kFat16, 8, 500);
  Set(2, 3);
  bytes_.resize(512);  // the medium ends before its FAT
  FatTable& fat = Open();
  EXPECT_EQ(fat.NextCluster(2), 0u);
}

TEST_F(FatTableTest, UsedClusterBitmapAndFreeRuns) {
  Make(FatType::kFat16, 8, 40);
  geometry_.sectors_per_cluster = 2;
  geometry_.data_start = 9;
  // Used: 2-4 (a chain), 10 (end), 20 -> 41 (the last cluster, used by name
  // only). Free: 5-9, 11-19, 21-40.
  Set(2, 3);
  Set(3, 4);
  Set(4, 0xFFFF);
  Set(10, 0xFFFF);
  Set(20, 41);
  Set(30, 900);  // outside the volume: marks 30 only
  FatTable& fat = Open();
  const uint64_t partition = 9 + 40 * 2 + 3;  // three sectors behind the last cluster
  UsedClusterBitmap bitmap;
  bitmap.Build(fat, geometry_, partition);
  EXPECT_TRUE(bitmap.IsUsed(2));
  EXPECT_TRUE(bitmap.IsUsed(41));
  EXPECT_FALSE(bitmap.IsUsed(5));
  EXPECT_TRUE(bitmap.IsUsed(30));

  struct Case {
    uint64_t from;
    uint64_t start;
    uint64_t length;
  };
  const Case cases[] = {
      {0, 9 + 3 * 2, 5 * 2},                      // the data area's start: the run 5-9
      {9 + 3 * 2 + 1, 9 + 3 * 2 + 1, 5 * 2 - 1},  // inside a free run
      {9 + 8 * 2, 9 + 9 * 2, 9 * 2},              // from used cluster 10 to the run 11-19
      {9 + 28 * 2, 9 + 29 * 2, 10 * 2},           // 31-40 up to the used 41
      {9 + 39 * 2, 9 + 40 * 2, 3},                // behind the last cluster: no file's, so free
      {partition, partition, 0},
      {partition + 50, partition, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    uint64_t sector = c.from;
    uint64_t length = 99;
    bitmap.NextFreeRange(geometry_, partition, &sector, &length);
    EXPECT_EQ(sector, c.start);
    EXPECT_EQ(length, c.length);
  }
}

// A FAT whose sector `bad_fat_sector` cannot be read, served through a
// source that counts the reads.
class UnreadableFatTest : public FatTableTest {
 protected:
  FatTable& OpenCounting(uint64_t bad_fat_sector) {
    auto faulty = std::make_unique<platform::FaultySectorSource>(
        std::make_unique<platform::MemorySectorSource>(bytes_));
    faulty->AddUnreadableRange((1 + bad_fat_sector) * 512, 512);
    faulty_ = faulty.get();
    EXPECT_EQ(OpenDiskFromSource(std::move(faulty), &disk_), 0);
    table_.Open(&disk_, 1, geometry_);
    return table_;
  }
  platform::FaultySectorSource* faulty_ = nullptr;
};

TEST_F(UnreadableFatTest, AnUnreadableSectorIsNotReadAgainForEachOfItsEntries) {
  Make(FatType::kFat16, 8, 2000);
  Set(700, 0xFFFF);  // in the unreadable FAT sector 2 (entries 512-767)
  Set(800, 0xFFFF);  // in sector 3, readable behind it
  FatTable& fat = OpenCounting(2);
  const std::size_t reads_after_open = faulty_->read_calls();
  uint32_t value = 0;
  for (uint32_t cluster = 512; cluster < 768; ++cluster) {
    EXPECT_EQ(fat.Lookup(cluster, &value), err::kReadFault) << cluster;
  }
  EXPECT_LE(faulty_->read_calls() - reads_after_open, 1u);
  ASSERT_EQ(fat.Lookup(800, &value), 0);
  EXPECT_EQ(value, 0xFFFFu);
}

TEST_F(FatTableTest, UsedClusterBitmapCoversOnlyWhatTheMediumHolds) {
  // A boot sector's claim: 0x0FFFFFF0 clusters and a FAT of 2 GiB, on a
  // medium of 40 sectors of which the FAT takes 8.
  Make(FatType::kFat32, 8, 0x0FFFFFF0);
  geometry_.sectors_per_fat = 0x400000;
  geometry_.data_start = 9;
  const uint64_t medium_sectors = 40;
  bytes_.resize(medium_sectors * 512);
  Set(2, 3);
  Set(3, 0x0FFFFFFF);
  FatTable& fat = Open();
  UsedClusterBitmap bitmap;
  bitmap.Build(fat, geometry_, medium_sectors);
  EXPECT_TRUE(bitmap.IsUsed(3));
  EXPECT_FALSE(bitmap.IsUsed(4));
  EXPECT_FALSE(bitmap.IsUsed(40)) << "beyond the medium: not part of the map";
  uint64_t sector = 0;
  uint64_t length = 0;
  bitmap.NextFreeRange(geometry_, medium_sectors, &sector, &length);
  EXPECT_EQ(sector, 9u + 2);
  EXPECT_EQ(length, medium_sectors - sector);
  EXPECT_EQ(geometry_.ClustersWithin(medium_sectors), 31u);
  EXPECT_EQ(geometry_.ClustersWithin(9), 0u);
}

}  // namespace
}  // namespace vexlo::fat
