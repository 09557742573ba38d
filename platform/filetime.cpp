#include "platform/filetime.h"

namespace vexlo::platform {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

uint64_t FiletimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  const int64_t since_1601 = seconds + kFiletimeUnixEpochSeconds;
  if (since_1601 < 0) return 0;
  return static_cast<uint64_t>(since_1601) * kFiletimeTicksPerSecond +
         static_cast<uint64_t>(nanoseconds / 100);
}

int64_t UnixSecondsFromFiletime(uint64_t filetime) {
  return static_cast<int64_t>(filetime / kFiletimeTicksPerSecond) - kFiletimeUnixEpochSeconds;
}

uint64_t FiletimeFromCalendar(int year, int month, int day, int hour, int minute, int second,
                              int milliseconds) {
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      milliseconds < 0 || milliseconds > 999) {
    return 0;
  }
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return FiletimeFromUnix(seconds, int64_t{milliseconds} * 1'000'000);
}

std::tm CalendarFromFiletime(uint64_t filetime) {
  std::time_t seconds = static_cast<std::time_t>(UnixSecondsFromFiletime(filetime));
  std::tm fields{};
  gmtime_r(&seconds, &fields);
  return fields;
}

std::tm LocalTime(std::time_t when) {
  std::tm fields{};
  localtime_r(&when, &fields);
  return fields;
}

}  // namespace vexlo::platform
