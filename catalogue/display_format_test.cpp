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

TEST(DisplayFormatTest, GroupedNumber) {
  const std::pair<uint64_t, std::string_view> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {1536, "1,536"},
      {123456, "123,456"},
      {1234567, "1,234,567"},
      {UINT64_MAX, "18,446,744,073,709,551,615"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(GroupedNumber(value), text) << value;
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

// Zero-padded to minutes: every date has the same width in a column, and
// the texts sort in time order.
TEST(DisplayFormatTest, DateTextShowsTheStoredTime) {
  const struct {
    uint64_t filetime;
    const char* text;
  } cases[] = {
      {platform::FiletimeFromCalendar(2026, 3, 3, 9, 5, 7), "2026-03-03 09:05"},
      {platform::FiletimeFromCalendar(2026, 6, 12, 10, 12, 59), "2026-06-12 10:12"},
      {platform::FiletimeFromCalendar(1999, 12, 31, 23, 59, 59), "1999-12-31 23:59"},
      {0, "1601-01-01 00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(DateText(c.filetime), c.text);
  EXPECT_LT(DateText(platform::FiletimeFromCalendar(2026, 6, 12, 10, 12, 0)),
            DateText(platform::FiletimeFromCalendar(2026, 10, 1, 8, 0, 0)));
}

}  // namespace
}  // namespace vexlo::catalogue
