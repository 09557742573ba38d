// Long names gathered from their entries as a directory walk meets them:
// live and deleted runs, checksums that tie a run to its short entry, and
// the twenty-entry limit.
#include "filesystems/fat/fat_long_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fat_image.h"

namespace vexlo::fat {
namespace {

using testing::LongNameEntries;
using testing::RawDirEntry;
using testing::ShortEntry;

RawDirEntry Deleted(RawDirEntry e) {
  e[0] = kDeletedMark;
  return e;
}

// Feeds entries to a collector the way the directory parse does.
std::string Assemble(const std::vector<RawDirEntry>& longs, const RawDirEntry& short_entry) {
  LongNameCollector collector;
  for (const RawDirEntry& e : longs) {
    if (!collector.Add(DirEntry(e.data()))) return "<ended>";
  }
  return collector.TakeFor(DirEntry(short_entry.data()));
}

TEST(FatLongNameTest, Assembly) {
  const RawDirEntry short_live = ShortEntry("GRUSSE~1TXT", kAttrArchive, 5, 1);
  const RawDirEntry short_deleted = Deleted(short_live);
  const std::u16string name = u"Grüße aus dem Urlaub 2021.txt";
  std::vector<RawDirEntry> deleted = LongNameEntries(name, "GRUSSE~1TXT");
  testing::MarkDeleted(deleted);
  std::vector<RawDirEntry> other_checksum = LongNameEntries(name, "OTHER   TXT");
  std::u16string longest(255, u'x');
  std::vector<RawDirEntry> twenty = LongNameEntries(longest, "XXXXXX~1TXT");
  testing::MarkDeleted(twenty);
  std::vector<RawDirEntry> twenty_one = twenty;
  twenty_one.insert(twenty_one.begin(), twenty.front());

  EXPECT_EQ(Assemble(LongNameEntries(name, "GRUSSE~1TXT"), short_live),
            "Grüße aus dem Urlaub 2021.txt");
  EXPECT_EQ(Assemble(deleted, short_deleted), "Grüße aus dem Urlaub 2021.txt");
  // Parts of another entry's name are not taken by a live entry.
  EXPECT_EQ(Assemble(other_checksum, short_live), "");
  // The longest legal name fills twenty entries; a 21st ends the directory.
  EXPECT_EQ(Assemble(twenty, Deleted(ShortEntry("XXXXXX~1TXT", kAttrArchive, 5, 1))),
            std::string(255, 'x'));
  EXPECT_EQ(Assemble(twenty_one, short_deleted), "<ended>");
  // A checksum change starts a new name: only the last name's parts count.
  std::vector<RawDirEntry> mixed = LongNameEntries(u"stale name here", "STALE   TXT");
  for (const RawDirEntry& e : LongNameEntries(name, "GRUSSE~1TXT")) mixed.push_back(e);
  EXPECT_EQ(Assemble(mixed, short_live), "Grüße aus dem Urlaub 2021.txt");
}

}  // namespace
}  // namespace vexlo::fat
