// Display texts for sizes, durations and dates, shared by every view.
//
// The texts are the program's own fixed formats (English units, no locale),
// so that a size or a time reads the same in every language and in the
// command-line tool.
#pragma once

#include <cstdint>
#include <string>

#include "engine/record_output.h"

namespace vexlo::catalogue {

// "1023 Bytes", "1.00 KB", "3.50 MB", "1.25 GB", "2.00 TB". A negative count
// (a damaged size field) shows its low 32 bits as a signed number of bytes.
std::string SizeText(int64_t bytes);

// "1 Hour 0 Min" from 3600 seconds up, "59 Min 59 Sec" from 60 up, else
// "59 Sec" (negative values too).
std::string DurationText(int64_t seconds);

// "2026-03-03 09:05": the FILETIME as stored, without any time-zone shift,
// to the minute, zero-padded so that dates line up and sort as texts.
std::string DateText(uint64_t filetime);

// "1,536": a count with its thousands grouped, for counts that a user
// compares digit by digit (bytes written against a file's size).
std::string GroupedNumber(uint64_t value);

// "2019-03-04T05:06:08" for a FILETIME as the medium keeps it (no time zone
// is known), with the fraction of a second behind it when asked for and
// there is one ("...:08.25"); empty for 0, a time the medium does not have.
std::string IsoTimeText(uint64_t filetime, bool with_fraction = false);

// What the recovery lists say of one file's outcome `code`: "Success"; for a
// file whose data ended early (38, reported with LastShortCopy's counts)
// "only 1,536 of 4,096 bytes could be recovered"; else the system's text.
std::string RecoveryOutcomeText(int32_t code);
// The same for a copy cut short with the counts given, on any thread.
std::string RecoveryOutcomeText(int32_t code, const ShortCopy& counts);

}  // namespace vexlo::catalogue
