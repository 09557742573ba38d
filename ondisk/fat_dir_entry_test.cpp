#include "ondisk/fat_dir_entry.h"

#include <gtest/gtest.h>

#include "ondisk/fat_time.h"
#include "platform/filetime.h"
#include "tests/support/fat_image.h"

namespace vexlo::fat {
namespace {

using testing::LongNameEntries;
using testing::RawDirEntry;
using testing::ShortEntry;

RawDirEntry WithByte(RawDirEntry e, std::size_t at, uint8_t value) {
  e[at] = value;
  return e;
}

TEST(FatDirEntryTest, ValidityRules) {
  const RawDirEntry file = ShortEntry("NOTES   TXT", kAttrArchive, 5, 100);
  const RawDirEntry dir = ShortEntry("PHOTOS     ", kAttrDirectory, 7, 0);
  const RawDirEntry dot = ShortEntry(".          ", kAttrDirectory, 7, 0);
  const RawDirEntry dotdot = ShortEntry("..         ", kAttrDirectory, 0, 0);
  RawDirEntry dotdot_other_time = dotdot;
  dotdot_other_time[22] ^= 0x20;
  const RawDirEntry lfn = LongNameEntries(u"a long name", "ALONGN~1   ")[0];
  struct Case {
    const char* what;
    RawDirEntry entry;
    const RawDirEntry* next;
    bool valid;
  };
  const Case cases[] = {
      {"plain file", file, nullptr, true},
      {"deleted file", WithByte(file, 0, 0xE5), nullptr, true},
      {"directory", dir, nullptr, true},
      {"dot before dotdot with equal times", dot, &dotdot, true},
      {"dot before dotdot with other times", dot, &dotdot_other_time, false},
      {"dot at the end of the buffer", dot, nullptr, false},
      {"empty file with a cluster", ShortEntry("EMPTY   TXT", kAttrArchive, 9, 0), nullptr, false},
      {"empty file without a cluster", ShortEntry("EMPTY   TXT", kAttrArchive, 0, 0), nullptr,
       true},
      {"volume label", ShortEntry("MY CARD    ", kAttrVolumeLabel, 0, 0), nullptr, true},
      {"volume label with a size", ShortEntry("MY CARD    ", kAttrVolumeLabel, 0, 5), nullptr,
       false},
      {"label bit with others", ShortEntry("ODD     TXT", 0x28, 3, 10), nullptr, false},
      {"read-only directory", ShortEntry("RO         ", 0x11, 7, 0), nullptr, false},
      {"attributes 0x40 and above", ShortEntry("HIGH    TXT", 0x60, 3, 10), nullptr, false},
      {"long-name entry", lfn, nullptr, true},
      {"long-name sequence 21", WithByte(lfn, 0, 0x55), nullptr, false},
      {"deleted long-name entry", WithByte(lfn, 0, 0xE5), nullptr, true},
      {"long-name entry with a cluster", WithByte(lfn, 26, 1), nullptr, false},
      {"live file dated 1985", WithByte(file, 25, (1985 - 1980) << 1), nullptr, false},
      {"deleted file dated 1985", WithByte(WithByte(file, 25, (1985 - 1980) << 1), 0, 0xE5),
       nullptr, true},
      {"lower-case name byte", WithByte(file, 2, 'o'), nullptr, false},
      {"control byte in name", WithByte(file, 9, 0x01), nullptr, false},
      {"question mark in name", WithByte(file, 3, '?'), nullptr, false},
      {"directory with a size", ShortEntry("PHOTOS     ", kAttrDirectory, 7, 10), nullptr, false},
      {"deleted directory with a size",
       WithByte(ShortEntry("PHOTOS     ", kAttrDirectory, 7, 10), 0, 0xE5), nullptr, true},
      {"neither archive nor directory", ShortEntry("SYS     BIN", 0x04, 3, 10), nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsValidEntry(c.entry.data(), c.next ? c.next->data() : nullptr), c.valid);
  }
}

TEST(FatDirEntryTest, ShortNames) {
  struct Case {
    RawDirEntry entry;
    const char* name;
  };
  const Case cases[] = {
      {WithByte(ShortEntry("XOTES   TXT", kAttrArchive, 5, 1), 0, 0xE5), "!otes.txt"},
      {ShortEntry("README     ", kAttrArchive, 5, 1), "readme"},
      {ShortEntry("A       B  ", kAttrArchive, 5, 1), "a.b"},
      // A folder keeps its extension: two folders must not share one name.
      {ShortEntry("DATA    OLD", kAttrDirectory, 5, 0), "data.old"},
      // Code page 437: 0x81 is u-umlaut, 0x9A U-umlaut (not lower-cased).
      {ShortEntry("GR\x81\x9A"
                  "E   TXT",
                  kAttrArchive, 5, 1),
       "gr\xC3\xBC\xC3\x9C"
       "e.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortEntryName(DirEntry(c.entry.data())), c.name);
  }
}

TEST(FatDirEntryTest, TimesConvertWithoutZoneShift) {
  const RawDirEntry e = WithByte(ShortEntry("NOTES   TXT", kAttrArchive, 5, 100), 13, 155);
  const DirEntry entry(e.data());
  EXPECT_EQ(entry.modified(), platform::FiletimeFromCalendar(2021, 6, 15, 10, 20, 30));
  EXPECT_EQ(entry.accessed(), platform::FiletimeFromCalendar(2021, 6, 15, 0, 0, 0));
  // 155 tenths-units of 10 ms: one more second and 550 ms.
  EXPECT_EQ(entry.created(), platform::FiletimeFromCalendar(2021, 6, 15, 10, 20, 31, 550));
  EXPECT_EQ(FatDateToFiletime(0), 0u);  // month 0
}

}  // namespace
}  // namespace vexlo::fat
