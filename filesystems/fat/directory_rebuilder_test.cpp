// Cluster layouts from pairs of directory starts, and the rebuilder's bounds
// on input that only looks like directories.
#include "filesystems/fat/directory_rebuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "platform/sector_source.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo::fat {
namespace {

TEST(GeometryFromPair, Table) {
  struct Case {
    const char* label;
    DirectoryPosition a, b;
    uint64_t partition_start;
    std::optional<DirectoryGeometry> expected;
  };
  const Case cases[] = {
      {"clusters 5 and 9 found 32 sectors apart",
       {5, 1000},
       {9, 1032},
       0,
       DirectoryGeometry{8, 1000 - 24, 0, false}},
      {"order of discovery does not matter",
       {9, 1032},
       {5, 1000},
       0,
       DirectoryGeometry{8, 1000 - 24, 0, false}},
      {"first data sector relative to the partition",
       {5, 1000},
       {9, 1032},
       100,
       DirectoryGeometry{8, 1000 - 24 - 100, 100, false}},
      {"one sector per cluster", {2, 600}, {3, 601}, 0, DirectoryGeometry{1, 600, 0, false}},
      {"128 sectors per cluster", {2, 600}, {3, 728}, 0, DirectoryGeometry{128, 600, 0, false}},
      {"clusters above 16 bits",
       {70000, 80000},
       {70001, 80001},
       0,
       DirectoryGeometry{1, 80000 - 69998, 0, true}},
      {"distance not a multiple of the cluster difference", {5, 1000}, {9, 1030}, 0, std::nullopt},
      {"quotient not a power of two", {5, 1000}, {9, 1024}, 0, std::nullopt},
      {"quotient above 128", {2, 600}, {3, 856}, 0, std::nullopt},
      {"same cluster", {5, 1000}, {5, 1032}, 0, std::nullopt},
      {"cluster 2 before sector 0", {100, 50}, {101, 58}, 0, std::nullopt},
      {"cluster 2 before the partition", {5, 1000}, {9, 1032}, 990, std::nullopt},
      {"a higher cluster lower on the medium", {9, 1000}, {5, 1032}, 0, std::nullopt},
      {"cluster 1 names no directory", {1, 1000}, {5, 1032}, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(GeometryFromPair(c.a, c.b, c.partition_start), c.expected);
  }
}

TEST(DirectoryGeometry, PlacesClustersAndTheFixedRoot) {
  const DirectoryGeometry g{4, 100, 2048, false};
  EXPECT_EQ(g.SectorOf(2), 2148u);
  EXPECT_EQ(g.SectorOf(5), 2160u);
  EXPECT_EQ(g.SectorOf(0), 2048u + 68);
  EXPECT_EQ(g.SectorOf(1), std::nullopt);
  EXPECT_EQ(g.ClusterStartingAt(2160), 5u);
  EXPECT_EQ(g.ClusterStartingAt(2161), std::nullopt);
  EXPECT_EQ(g.ClusterHolding(2163), 5u);
  EXPECT_EQ(g.ClusterStartingAt(2116), 0u);
  EXPECT_EQ(g.ClusterHolding(2147), 0u);
  EXPECT_EQ(g.ClusterHolding(2115), std::nullopt);
  EXPECT_EQ(g.ClusterHolding(100), std::nullopt);
}

// Sectors that pass for directories but describe nothing real: "." / ".."
// pairs naming absurd clusters, entries pointing anywhere, endless long-name
// runs. The rebuilder must end, stay inside its bounds and keep the store
// consistent.
TEST(FatDirectoryRebuilder, DirectoryLikeGarbageStaysBounded) {
  DiskHandle disk;
  ASSERT_EQ(
      OpenDiskFromSource(
          std::make_unique<platform::MemorySectorSource>(std::vector<uint8_t>(1 << 20, 0)), &disk),
      0);
  testing::TempDir scan_folder;
  ScanResultStore store;
  ASSERT_EQ(store.Open(scan_folder.path(), "Pro_Fat_garbage"), 0);
  FatDirectoryRebuilder rebuilder;
  RebuildSource source;
  source.disk = &disk;
  source.medium_sectors = disk.total_sectors;
  rebuilder.Reset(source, &store);

  std::mt19937 generator(1234);
  auto random = [&] { return static_cast<uint32_t>(generator()); };
  std::vector<uint8_t> sector(512);
  auto fill = [&](uint32_t dot_cluster, bool start) {
    std::fill(sector.begin(), sector.end(), 0);
    std::size_t at = 0;
    if (start) {
      auto dot = testing::ShortEntry(".          ", 0x10, dot_cluster, 0);
      auto dot_dot = testing::ShortEntry("..         ", 0x10, random(), 0);
      std::copy(dot.begin(), dot.end(), sector.begin());
      std::copy(dot_dot.begin(), dot_dot.end(), sector.begin() + 32);
      at = 64;
    }
    for (; at + 32 <= sector.size(); at += 32) {
      const uint32_t kind = random() % 4;
      testing::RawDirEntry entry;
      if (kind == 0) {
        entry = testing::LongNameEntries(u"endless", "ENDLESS TXT")[0];
        entry[13] = static_cast<uint8_t>(random());
      } else {
        char name[12];
        std::snprintf(name, sizeof name, "G%07uBIN", static_cast<unsigned>(random() % 10000000));
        entry = testing::ShortEntry(name, kind == 1 ? 0x10 : 0x20, random(), random());
        if (kind == 3) entry[0] = 0xE5;
      }
      std::copy(entry.begin(), entry.end(), sector.begin() + at);
    }
  };
  const uint32_t absurd[] = {0, 1, 0x0FFFFFFF, 0xFFFFFFFF, 2, 3};
  uint64_t number = 0;
  for (int i = 0; i < 120000; ++i) {
    number += 1 + random() % 3;
    if (i % 50 == 0) {
      fill(i % 100 == 0 ? absurd[i / 100 % 6] : random(), true);
      rebuilder.DirectoryStart(sector, number);
    } else {
      fill(0, false);
      rebuilder.DirectoryData(sector, number);
    }
    ASSERT_LE(rebuilder.orphan_bytes(), kMaxOrphanBytes);
    ASSERT_LE(rebuilder.long_name_tails(), kMaxLongNameTails);
    ASSERT_LE(rebuilder.pending_files(), kMaxPendingFiles);
    ASSERT_LE(rebuilder.geometries().size(), kMaxGeometries);
  }
  EXPECT_EQ(rebuilder.Finish(), 0);
  EXPECT_EQ(rebuilder.orphan_sectors(), 0u);
  // Every folder filed in the index is listable and counts without looping.
  uint64_t files = 0;
  EXPECT_EQ(store.CountFiles(0, &files), 0);
  CloseDiskHandle(disk);
}

}  // namespace
}  // namespace vexlo::fat
