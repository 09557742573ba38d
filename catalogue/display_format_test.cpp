#include "catalogue/display_format.h"

#include <gtest/gtest.h>

#include "platform/filetime.h"

namespace vexlo::catalogue {
namespace {

TEST(DisplayFormatTest, SizeText) {
  const std::pair<int64_t, std::string_view> cases[] = {
      {0, "0 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {(int64_t{1} << 20) - 1, "1024.00 KB"},
      {int64_t{1} << 20, "1.00 MB"},
      {int64_t{3} << 30, "3.00 GB"},
      {int64_t{1} << 40, "1.00 TB"},
      {(int64_t{5} << 40) / 2, "2.50 TB"},
      {-1, "-1 Bytes"},
      // Only the low 32 bits of a negative count are shown.
      {-(int64_t{1} << 32) + 5, "5 Bytes"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(SizeText(bytes), text) << bytes;
}

TEST(DisplayFormatTest, DurationText) {
  const std::pair<int64_t, std::string_view> cases[] = {
      {3600, "1 Hour 0 Min"},
      {3599, "59 Min 59 Sec"},
      {59, "59 Sec"},
      {60, "1 Min 0 Sec"},
      {0, "0 Sec"},
      {-5, "-5 Sec"},
      {90061, "25 Hour 1 Min"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(DisplayFormatTest, DateTextShowsTheStoredTime) {
  EXPECT_EQ(DateText(platform::FiletimeFromCalendar(2026, 3, 3, 9, 5, 7)), "2026-3-3 09:05:07");
  EXPECT_EQ(DateText(platform::FiletimeFromCalendar(1999, 12, 31, 23, 59, 59)),
            "1999-12-31 23:59:59");
  EXPECT_EQ(DateText(0), "1601-1-1 00:00:00");
}

}  // namespace
}  // namespace vexlo::catalogue
