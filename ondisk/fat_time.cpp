#include "ondisk/fat_time.h"

#include "platform/filetime.h"

namespace vexlo::fat {
namespace {

uint64_t Convert(uint16_t date, uint16_t time, int extra_seconds, int milliseconds) {
  const int day = date & 0x1F;
  const int month = (date >> 5) & 0x0F;
  const int year = 1980 + (date >> 9);
  const int seconds = 2 * (time & 0x1F) + extra_seconds;
  const int minutes = (time >> 5) & 0x3F;
  const int hours = time >> 11;
  return platform::FiletimeFromCalendar(year, month, day, hours, minutes, seconds, milliseconds);
}

}  // namespace

uint64_t FatDateTimeToFiletime(uint16_t date, uint16_t time) { return Convert(date, time, 0, 0); }

uint64_t FatCreationToFiletime(uint16_t date, uint16_t time, uint8_t tenths) {
  // Units of 10 ms: the hundreds are whole seconds, the rest milliseconds / 10.
  return Convert(date, time, tenths / 100, (tenths % 100) * 10);
}

uint64_t FatDateToFiletime(uint16_t date) { return Convert(date, 0, 0, 0); }

}  // namespace vexlo::fat
