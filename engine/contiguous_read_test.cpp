#include "engine/contiguous_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/sector_source.h"
#include "tests/support/fat_image.h"

namespace vexlo {
namespace {

constexpr uint32_t kSector = 512;
constexpr uint64_t kMediumSectors = 256;

TEST(ReadContiguous, DeliversWhatCanBeReadAndSaysWhyItStopped) {
  struct Case {
    const char* label;
    ContiguousExtent extent;
    uint64_t max_bytes;
    uint64_t unreadable_from;  // byte offset; kMediumSectors x kSector: none
    int32_t cancel_after_pieces;
    int32_t expected;
    uint64_t delivered;
  };
  constexpr uint64_t kNone = kMediumSectors * kSector;
  const Case cases[] = {
      {"two pieces", {2, 70000, kSector}, UINT64_MAX, kNone, -1, 0, 70000},
      {"part of a sector", {2, 1000, kSector}, UINT64_MAX, kNone, -1, 0, 1000},
      {"at most what was asked", {2, 70000, kSector}, 1000, kNone, -1, 0, 1000},
      {"empty", {2, 0, kSector}, UINT64_MAX, kNone, -1, 0, 0},
      {"nothing readable", {2, 4000, kSector}, UINT64_MAX, 0, -1, err::kReadFault, 0},
      {"unreadable after three sectors",
       {2, 4000, kSector},
       UINT64_MAX,
       5 * kSector,
       -1,
       err::kReadFault,
       3 * kSector},
      {"beyond the medium", {250, 4000, kSector}, UINT64_MAX, kNone, -1, err::kInvalidParameter, 0},
      {"no sector size", {2, 4000, 0}, UINT64_MAX, kNone, -1, err::kInvalidParameter, 0},
      {"cancelled", {2, 70000, kSector}, UINT64_MAX, kNone, 1, kCancelCode, 65536},
  };
  const std::vector<uint8_t> medium = testing::PatternBytes(kMediumSectors * kSector, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto source = std::make_unique<platform::FaultySectorSource>(
        std::make_unique<platform::MemorySectorSource>(medium));
    if (c.unreadable_from < kNone) source->AddUnreadableRange(c.unreadable_from, kNone);
    DiskHandle disk;
    ASSERT_EQ(OpenDiskFromSource(std::move(source), &disk), 0);
    std::vector<uint8_t> got;
    int pieces = 0;
    const ErrorCode rc = ReadContiguous(
        disk, c.extent, c.max_bytes, [&](std::span<const uint8_t> bytes, uint64_t done) -> int32_t {
          got.insert(got.end(), bytes.begin(), bytes.end());
          EXPECT_EQ(done, got.size());
          return ++pieces == c.cancel_after_pieces ? kCancelCode : 0;
        });
    EXPECT_EQ(rc, c.expected);
    ASSERT_EQ(got.size(), c.delivered);
    const auto first =
        medium.begin() + static_cast<std::ptrdiff_t>(c.extent.first_sector * kSector);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), first));
  }
}

}  // namespace
}  // namespace vexlo
