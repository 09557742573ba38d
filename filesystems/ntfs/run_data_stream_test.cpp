// Streaming a non-resident stream through its runs over an in-memory volume:
// holes, a size that ends inside a run or beyond the runs, damaged run
// lengths, and errors from the reader or the sink.
#include "filesystems/ntfs/run_data_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/fat_image.h"

namespace vexlo::ntfs {
namespace {

constexpr uint64_t kCluster = 1024;
constexpr uint32_t kUnit = 512;

struct Outcome {
  ErrorCode rc;
  std::vector<uint8_t> bytes;
  std::vector<std::size_t> read_sizes;
};

// Streams `size` bytes of `runs` over `volume`; the reader fails on read
// number `fail_read` (counting from 0), the sink stops once `stop_at` bytes
// are done.
Outcome Stream(const std::vector<uint8_t>& volume, const std::vector<DataRun>& runs, uint64_t size,
               std::size_t fail_read = SIZE_MAX, uint64_t stop_at = UINT64_MAX) {
  Outcome outcome;
  outcome.rc = StreamRunData(
      runs, kCluster, kUnit, size,
      [&](const DataRun& run, uint64_t offset, std::span<uint8_t> out) -> ErrorCode {
        if (outcome.read_sizes.size() == fail_read) return err::kReadFault;
        outcome.read_sizes.push_back(out.size());
        const uint64_t at = run.first_cluster * kCluster + offset;
        if (at + out.size() > volume.size()) return err::kInvalidParameter;
        std::copy_n(volume.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
        return err::kSuccess;
      },
      [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
        outcome.bytes.insert(outcome.bytes.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(done, outcome.bytes.size());
        return done >= stop_at ? kCancelCode : 0;
      });
  return outcome;
}

// The bytes of `runs` as the stream lays them out: clusters from the volume,
// zeros for holes.
std::vector<uint8_t> Expected(const std::vector<uint8_t>& volume, const std::vector<DataRun>& runs,
                              uint64_t size) {
  std::vector<uint8_t> bytes;
  for (const DataRun& run : runs) {
    for (uint64_t c = 0; c < run.length_clusters && bytes.size() < size; ++c) {
      for (uint64_t i = 0; i < kCluster && bytes.size() < size; ++i) {
        bytes.push_back(run.sparse ? 0 : volume[(run.first_cluster + c) * kCluster + i]);
      }
    }
  }
  return bytes;
}

TEST(StreamRunData, FollowsTheRunsAndStopsWhereItShould) {
  const std::vector<uint8_t> volume = testing::PatternBytes(200 * kCluster, 9);
  // 80 clusters span two pieces of a run; the hole sits between two runs.
  const std::vector<DataRun> runs = {{80, 100, false}, {3, 0, true}, {5, 10, false}};
  const uint64_t all = 88 * kCluster;
  struct Case {
    const char* label;
    uint64_t size;
    std::size_t fail_read;
    uint64_t stop_at;
    int32_t expected_rc;
    uint64_t expected_bytes;
  };
  const Case cases[] = {
      {"whole stream", all, SIZE_MAX, UINT64_MAX, 0, all},
      {"size ends inside the last run, off a sector", all - 700, SIZE_MAX, UINT64_MAX, 0,
       all - 700},
      {"size ends inside the hole", 81 * kCluster + 5, SIZE_MAX, UINT64_MAX, 0, 81 * kCluster + 5},
      {"runs end before the size", all + 5000, SIZE_MAX, UINT64_MAX, 0, all},
      {"nothing asked", 0, SIZE_MAX, UINT64_MAX, 0, 0},
      {"reader fails on the second piece", all, 1, UINT64_MAX, err::kReadFault, 65536},
      {"sink stops after the first piece", all, SIZE_MAX, 1, kCancelCode, 65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Outcome outcome = Stream(volume, runs, c.size, c.fail_read, c.stop_at);
    EXPECT_EQ(outcome.rc, c.expected_rc);
    const std::vector<uint8_t> expected = Expected(volume, runs, c.expected_bytes);
    EXPECT_TRUE(outcome.bytes == expected) << outcome.bytes.size() << " bytes";
    for (std::size_t size : outcome.read_sizes) {
      EXPECT_EQ(size % kUnit, 0u);
      EXPECT_LE(size, 65536u);
    }
  }
}

TEST(StreamRunData, RunLengthsThatOverflowEndTheStream) {
  const std::vector<uint8_t> volume = testing::PatternBytes(16 * kCluster, 10);
  const std::vector<DataRun> runs = {{2, 3, false}, {UINT64_MAX / 2, 0, true}, {2, 5, false}};
  const Outcome outcome = Stream(volume, runs, UINT64_MAX);
  EXPECT_EQ(outcome.rc, 0);
  EXPECT_TRUE(outcome.bytes == Expected(volume, {runs[0]}, 2 * kCluster));
}

}  // namespace
}  // namespace vexlo::ntfs
