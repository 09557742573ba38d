// Run lists decoded from hand-made bytes: deltas of every sign, holes, and
// the ways a list ends or is cut.
#include "ondisk/ntfs_data_runs.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexlo::ntfs {
namespace {

TEST(NtfsDataRuns, Decoding) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    RunListStatus status;
    std::vector<DataRun> runs;
  };
  const Case cases[] = {
      {"one run", {0x21, 0x10, 0x00, 0x01, 0x00}, RunListStatus::kComplete, {{16, 256, false}}},
      {"negative delta",
       {0x11, 0x04, 0x50, 0x11, 0x02, 0xF0, 0x00},
       RunListStatus::kComplete,
       {{4, 0x50, false}, {2, 0x40, false}}},
      {"sparse hole",
       {0x11, 0x01, 0x10, 0x01, 0x05, 0x11, 0x01, 0x02, 0x00},
       RunListStatus::kComplete,
       {{1, 0x10, false}, {5, 0, true}, {1, 0x12, false}}},
      {"seven-byte fields",
       {0x17, 0x01, 0, 0, 0, 0, 0, 0x01, 0x10, 0x71, 0x01, 0, 0, 0, 0, 0, 0, 0x01, 0x00},
       RunListStatus::kComplete,
       {{0x01000000000001, 0x10, false}, {1, 0x01000000000010, false}}},
      {"two-byte negative delta",
       {0x21, 0x04, 0x00, 0x03, 0x21, 0x02, 0x00, 0xFF, 0x00},
       RunListStatus::kComplete,
       {{4, 0x300, false}, {2, 0x200, false}}},
      {"ends at length size 8", {0x08, 1, 2, 3}, RunListStatus::kComplete, {}},
      {"ends at offset size 8", {0x81, 1}, RunListStatus::kComplete, {}},
      {"cut inside a run", {0x21, 0x10, 0x00}, RunListStatus::kCorrupt, {}},
      {"no terminator", {0x11, 0x01, 0x10}, RunListStatus::kCorrupt, {{1, 0x10, false}}},
      {"before the volume", {0x11, 0x01, 0xF0, 0x00}, RunListStatus::kCorrupt, {}},
      {"zero length", {0x11, 0x00, 0x10, 0x00}, RunListStatus::kCorrupt, {}},
  };
  for (const Case& c : cases) {
    std::vector<DataRun> runs;
    EXPECT_EQ(DecodeDataRuns(c.bytes, &runs), c.status) << c.what;
    ASSERT_EQ(runs.size(), c.runs.size()) << c.what;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].length_clusters, c.runs[i].length_clusters) << c.what;
      EXPECT_EQ(runs[i].sparse, c.runs[i].sparse) << c.what;
      if (!runs[i].sparse) {
        EXPECT_EQ(runs[i].first_cluster, c.runs[i].first_cluster) << c.what;
      }
    }
  }
  const std::vector<DataRun> runs = {{10, 90, false}, {5, 0, true}};
  EXPECT_TRUE(RunsInsideVolume(runs, 100));
  EXPECT_FALSE(RunsInsideVolume(runs, 99));
  EXPECT_EQ(TotalClusters(runs), 15u);
}

}  // namespace
}  // namespace vexlo::ntfs
