#include "engine/remaining_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vexlo {
namespace {

using std::chrono::seconds;

TEST(RemainingTimeClock, EstimatesFromTheRateSoFar) {
  struct Case {
    const char* label;
    int elapsed_seconds;
    uint64_t done;
    uint64_t total;
    int32_t expected;
  };
  const Case cases[] = {
      {"too early to tell", 4, 10, 100, -1},
      {"nothing done yet", 30, 0, 100, -1},
      {"half done in 10 s", 10, 50, 100, 10},
      {"slower than one unit a second", 100, 10, 1000, 9900},
      {"done beyond the total", 10, 150, 100, 0},
      {"far from done", 10, 1, std::numeric_limits<uint64_t>::max(),
       std::numeric_limits<int32_t>::max()},
  };
  const RemainingTimeClock::Clock::time_point start{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RemainingTimeClock clock;
    clock.Start(start);
    EXPECT_EQ(clock.Update(c.done, c.total, start + seconds(c.elapsed_seconds)), c.expected);
    EXPECT_EQ(clock.seconds(), c.expected);
  }
}

// The number shown is renewed every 5 s, not with every report.
TEST(RemainingTimeClock, KeepsAnEstimateForFiveSeconds) {
  const RemainingTimeClock::Clock::time_point start{};
  RemainingTimeClock clock;
  clock.Start(start);
  EXPECT_EQ(clock.Update(50, 100, start + seconds(10)), 10);
  EXPECT_EQ(clock.Update(90, 100, start + seconds(14)), 10);
  EXPECT_EQ(clock.Update(90, 100, start + seconds(15)), 1);
  clock.Start(start + seconds(20));
  EXPECT_EQ(clock.seconds(), -1) << "a new scan starts unknown";
}

}  // namespace
}  // namespace vexlo
