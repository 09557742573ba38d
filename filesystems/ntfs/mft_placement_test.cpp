// Placing records inside the MFT that holds them, from the run lists of the
// $MFT records seen, or as a contiguous MFT when none holds them.
#include "filesystems/ntfs/mft_placement.h"

#include <gtest/gtest.h>

namespace vexlo::ntfs {
namespace {

constexpr uint32_t kClusterSectors = 8;
constexpr uint32_t kRecordSectors = 2;

std::vector<DataRun> Runs(std::initializer_list<std::pair<uint64_t, uint64_t>> runs) {
  std::vector<DataRun> out;
  for (const auto& [length, first] : runs) out.push_back(DataRun{length, first, false});
  return out;
}

TEST(MftMap, PlacesRecordsThroughTheRunsOfTheirOwnMft) {
  MftMap map;
  // Volume A at sector 0 with its MFT at cluster 4; volume B at sector 65536
  // with the same layout; B's MFT is fragmented: records from 8 on lie at
  // cluster 100.
  map.Add(32, Runs({{16, 4}}), 0);
  map.Add(65536 + 32, Runs({{2, 4}, {14, 100}}), kClusterSectors);
  struct Case {
    const char* label;
    uint64_t number, sector;
    bool by_runs;
    uint64_t partition_start;
    uint64_t parent_number, parent_sector;  // where the placement finds another record
  };
  const Case cases[] = {
      {"record of A", 12, 32 + 24, true, 0, 5, 32 + 10},
      {"record of B in its first run", 6, 65536 + 32 + 12, true, 65536, 7, 65536 + 32 + 14},
      {"record of B in its second run", 8, 65536 + 800, true, 65536, 5, 65536 + 32 + 10},
      {"parent beyond B's runs", 8, 65536 + 800, true, 65536, 1000, 0},
      {"no MFT holds it: contiguous", 64, 9000, false, 7, 5, 9000 - 118},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const MftPlacement placement =
        map.Place(c.number, c.sector, kClusterSectors, kRecordSectors, /*partition_start=*/7);
    ASSERT_TRUE(placement.valid);
    EXPECT_EQ(placement.runs != nullptr, c.by_runs);
    EXPECT_EQ(placement.partition_start, c.partition_start);
    EXPECT_EQ(placement.RecordSector(c.number), c.sector);
    if (c.parent_sector == 0) {
      EXPECT_EQ(placement.RecordSector(c.parent_number), std::nullopt);
    } else {
      EXPECT_EQ(placement.RecordSector(c.parent_number), c.parent_sector);
    }
  }
}

TEST(MftMap, AbsurdNumbersAndRunsPlaceNothingWrong) {
  MftMap map;
  map.Add(100, Runs({{UINT64_MAX / 4, UINT64_MAX / 4}}), kClusterSectors);
  map.Add(200, Runs({{1, 0}}), 0);
  // Beyond any sector number: no contiguous MFT can reach back to record 0.
  EXPECT_FALSE(map.Place(0xFFFFFFFF, 50, kClusterSectors, kRecordSectors, 0).valid);
  const MftPlacement placement = map.Place(3, 206, kClusterSectors, kRecordSectors, 0);
  ASSERT_TRUE(placement.valid);
  EXPECT_EQ(placement.partition_start, 200u);
  EXPECT_EQ(placement.RecordSector(UINT64_MAX), std::nullopt);
  EXPECT_EQ(placement.RecordSector(4), std::nullopt);  // past the one-cluster MFT
  // A hole at the start cannot hold record 0; such runs are not kept.
  map.Add(300, {DataRun{4, 0, true}}, 0);
  EXPECT_EQ(map.size(), 2u);
}

}  // namespace
}  // namespace vexlo::ntfs
