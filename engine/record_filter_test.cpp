#include "engine/record_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/filetime.h"

namespace vexlo {
namespace {

uint64_t At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return platform::FiletimeFromCalendar(year, month, day, hour, minute, second);
}

FoundFileRecord File(std::string_view name, uint64_t size, uint64_t modified, bool deleted,
                     bool intact) {
  FoundFileRecord record = EmptyRecord();
  record.SetName(name);
  record.size = size;
  record.modified = modified;
  record.deleted = deleted ? 1 : 0;
  record.content_check = intact ? 1 : 0;
  return record;
}

TEST(RecordFilter, EveryConditionMustHoldAndAnyPattern) {
  const FoundFileRecord photo = File("IMG_0001.JPG", 10240, At(2024, 5, 1, 10, 30), true, true);
  const FoundFileRecord untimed = File("notes.txt", 10, 0, false, false);
  struct Case {
    const char* what;
    void (*set)(RecordFilter&);
    const FoundFileRecord& file;
    bool kept;
  };
  const Case cases[] = {
      {"empty", [](RecordFilter&) {}, untimed, true},
      {"min at the size", [](RecordFilter& f) { f.min_size = 10240; }, photo, true},
      {"min above", [](RecordFilter& f) { f.min_size = 10241; }, photo, false},
      {"max at the size", [](RecordFilter& f) { f.max_size = 10240; }, photo, true},
      {"max below", [](RecordFilter& f) { f.max_size = 10239; }, photo, false},
      {"after at the time", [](RecordFilter& f) { f.modified_after = At(2024, 5, 1, 10, 30); },
       photo, true},
      {"after later", [](RecordFilter& f) { f.modified_after = At(2024, 5, 1, 10, 30, 1); }, photo,
       false},
      {"before at the time", [](RecordFilter& f) { f.modified_before = At(2024, 5, 1, 10, 30); },
       photo, true},
      {"before earlier", [](RecordFilter& f) { f.modified_before = At(2024, 5, 1, 10, 29); }, photo,
       false},
      {"no time, after", [](RecordFilter& f) { f.modified_after = At(1990, 1, 1); }, untimed,
       false},
      {"no time, before", [](RecordFilter& f) { f.modified_before = At(2100, 1, 1); }, untimed,
       false},
      {"deleted only", [](RecordFilter& f) { f.deleted_only = true; }, photo, true},
      {"deleted only, present", [](RecordFilter& f) { f.deleted_only = true; }, untimed, false},
      {"intact only", [](RecordFilter& f) { f.intact_only = true; }, photo, true},
      {"intact only, damaged", [](RecordFilter& f) { f.intact_only = true; }, untimed, false},
      {"one of two patterns",
       [](RecordFilter& f) {
         f.name_patterns = {"*.png", "*.jpg"};
       },
       photo, true},
      {"no pattern fits",
       [](RecordFilter& f) {
         f.name_patterns = {"*.png", "*.txt"};
       },
       photo, false},
      {"pattern and size",
       [](RecordFilter& f) {
         f.name_patterns = {"*.jpg"};
         f.min_size = 20000;
       },
       photo, false},
      {"path pattern", [](RecordFilter& f) { f.name_patterns = {"DCIM/*/IMG_*"}; }, photo, true},
      {"path pattern, leading slash",
       [](RecordFilter& f) { f.name_patterns = {"/dcim/100canon/*"}; }, photo, true},
      {"path pattern, other folder", [](RecordFilter& f) { f.name_patterns = {"Holiday/*"}; },
       photo, false},
      // Without "/" only the name counts, never the folder.
      {"name pattern ignores folder", [](RecordFilter& f) { f.name_patterns = {"*100CANON*"}; },
       photo, false},
  };
  for (const Case& c : cases) {
    RecordFilter filter;
    c.set(filter);
    EXPECT_EQ(filter.Matches(c.file, "DCIM/100CANON/"), c.kept) << c.what;
    EXPECT_EQ(filter.Empty(), std::string_view(c.what) == "empty") << c.what;
  }
}

TEST(RecordFilter, AsksForTheFolderPathOnlyForPathPatterns) {
  RecordFilter filter;
  filter.name_patterns = {"*.jpg"};
  EXPECT_FALSE(filter.NeedsFolderPath());
  EXPECT_TRUE(filter.DecidedByRecord());
  filter.name_patterns.push_back("DCIM/*");
  EXPECT_TRUE(filter.NeedsFolderPath());
  EXPECT_FALSE(filter.DecidedByRecord());
}

// The content check is judged when the files are listed, after the scan
// stored their records.
TEST(RecordFilter, TheRecordAloneCannotTellIntactFiles) {
  RecordFilter filter;
  filter.min_size = 1;
  filter.deleted_only = true;
  filter.modified_after = 1;
  EXPECT_TRUE(filter.DecidedByRecord());
  filter.intact_only = true;
  EXPECT_FALSE(filter.DecidedByRecord());
}

TEST(RecordFilter, ParsesSizesInMultiplesOf1024) {
  struct Case {
    const char* text;
    bool valid;
    uint64_t bytes;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"4096", true, 4096},
      {"4096B", true, 4096},
      {"10k", true, 10240},
      {"10K", true, 10240},
      {"4M", true, 4u << 20},
      {"4MB", true, 4u << 20},
      {"4MiB", true, 4u << 20},
      {"1G", true, uint64_t{1} << 30},
      {"2T", true, uint64_t{2} << 40},
      {"18446744073709551615", true, UINT64_MAX},
      {"16777216T", false, 0},  // 2^64 bytes
      {"18446744073709551616", false, 0},
      {"", false, 0},
      {"k", false, 0},
      {"-1", false, 0},
      {"1.5M", false, 0},
      {"10 k", false, 0},
      {"10x", false, 0},
      {"10kk", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t bytes = 12345;
    EXPECT_EQ(ParseSizeText(c.text, &bytes), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

TEST(RecordFilter, TimeBoundsReachOverWhatWasTyped) {
  constexpr uint64_t kTick = 1;
  struct Case {
    const char* text;
    TimeBoundKind kind;
    bool valid;
    uint64_t filetime;
  };
  const Case cases[] = {
      {"2024-05-01", TimeBoundKind::kLower, true, At(2024, 5, 1)},
      {"2024-05-01", TimeBoundKind::kUpper, true, At(2024, 5, 2) - kTick},
      {"2024-12-31", TimeBoundKind::kUpper, true, At(2025, 1, 1) - kTick},
      {"2024-05-01T10:30", TimeBoundKind::kLower, true, At(2024, 5, 1, 10, 30)},
      {"2024-05-01T10:30", TimeBoundKind::kUpper, true, At(2024, 5, 1, 10, 31) - kTick},
      {"2024-05-01 10:30:15", TimeBoundKind::kLower, true, At(2024, 5, 1, 10, 30, 15)},
      {"2024-05-01T10:30:15", TimeBoundKind::kUpper, true, At(2024, 5, 1, 10, 30, 16) - kTick},
      {"2024-02-29", TimeBoundKind::kLower, true, At(2024, 2, 29)},
      {"2023-02-29", TimeBoundKind::kLower, false, 0},
      {"2024-13-01", TimeBoundKind::kLower, false, 0},
      {"2024-05-01T24:00", TimeBoundKind::kLower, false, 0},
      {"2024-05-01T10:60", TimeBoundKind::kLower, false, 0},
      {"2024-05-01T10", TimeBoundKind::kLower, false, 0},
      {"2024-5-1", TimeBoundKind::kLower, false, 0},
      {"2024-05-01T10:30:15Z", TimeBoundKind::kLower, false, 0},
      {"1600-12-31", TimeBoundKind::kLower, false, 0},
      {"yesterday", TimeBoundKind::kLower, false, 0},
      {"", TimeBoundKind::kUpper, false, 0},
  };
  for (const Case& c : cases) {
    uint64_t filetime = 0;
    EXPECT_EQ(ParseTimeBound(c.text, c.kind, &filetime), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(filetime, c.filetime) << c.text;
    }
  }
}

}  // namespace
}  // namespace vexlo
