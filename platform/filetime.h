// FILETIME values (100 ns units since 1601-01-01 00:00:00) and local time.
//
// Found-file records and history entries keep FILETIME values as the media
// and the history format carry them, without any time-zone shift.
#pragma once

#include <cstdint>
#include <ctime>

namespace vexlo::platform {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr int64_t kFiletimeUnixEpochSeconds = 11644473600;
inline constexpr int64_t kFiletimeTicksPerSecond = 10'000'000;

// Unix time (seconds, nanoseconds) to FILETIME; times before 1601 give 0.
uint64_t FiletimeFromUnix(int64_t seconds, int64_t nanoseconds = 0);

// FILETIME to Unix seconds (rounded down).
int64_t UnixSecondsFromFiletime(uint64_t filetime);

// FILETIME of a calendar date and time, taken as is (no time-zone shift).
// Returns 0 for an impossible date (month 0, day 32 ...).
uint64_t FiletimeFromCalendar(int year, int month, int day, int hour, int minute, int second,
                              int milliseconds = 0);

// The calendar fields of a FILETIME, as is (no time-zone shift).
std::tm CalendarFromFiletime(uint64_t filetime);

// Local time of a Unix time (localtime_r).
std::tm LocalTime(std::time_t when);

}  // namespace vexlo::platform
