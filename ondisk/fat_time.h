// FAT date and time fields as FILETIME values.
//
// FAT keeps local wall-clock time; the values are converted as they stand,
// without any time-zone shift, so that every record shows what the camera or
// computer wrote. An impossible date (month 0, day 31 of February ...) gives 0.
#pragma once

#include <cstdint>

namespace vexlo::fat {

// Last-write time: a date word and a time word (2-second resolution).
uint64_t FatDateTimeToFiletime(uint16_t date, uint16_t time);

// Creation time: date and time words plus the tenths byte (0-199, units of
// 10 ms), which adds whole seconds and milliseconds in steps of 10.
uint64_t FatCreationToFiletime(uint16_t date, uint16_t time, uint8_t tenths);

// Last-access time: a date only, at midnight.
uint64_t FatDateToFiletime(uint16_t date);

}  // namespace vexlo::fat
