#include "storage/mapfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/test_map_text.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::MapText;

// The example of the mapfile documentation, as ddrescue writes it.
constexpr const char* kDdrescueExample =
    "# Mapfile. Created by GNU ddrescue version 1.27\n"
    "# Command line: ddrescue -d -c18 /dev/fd0 fdimage mapfile\n"
    "# Start time:   2015-07-21 09:37:44\n"
    "# Current time: 2015-07-21 09:38:19\n"
    "# Copying non-tried blocks... Pass 1 (forwards)\n"
    "# current_pos  current_status  current_pass\n"
    "0x00120000     ?               1\n"
    "#      pos        size  status\n"
    "0x00000000  0x00117000  +\n"
    "0x00117000  0x00000200  -\n"
    "0x00117200  0x00001000  /\n"
    "0x00118200  0x00007E00  *\n"
    "0x00120000  0x00048000  ?\n";

TEST(Mapfile, ReadsWhatDdrescueWrites) {
  RescueMap map;
  RescueStatus status;
  ASSERT_EQ(ParseMapfile(kDdrescueExample, 0x168000, &map, &status), 0);
  EXPECT_EQ(status.position, 0x120000u);
  EXPECT_EQ(status.phase, RescuePhase::kCopying);
  EXPECT_EQ(status.pass, 1u);
  EXPECT_EQ(MapText(map),
            "0-1142784:+ 1142784-1143296:- 1143296-1147392:/ 1147392-1179648:* "
            "1179648-1474560:?");
}

TEST(Mapfile, WrittenMapReadsBackTheSame) {
  RescueMap map(10 << 20);
  map.Set(0, 4096, BlockStatus::kFinished);
  map.Set(4096, 4608, BlockStatus::kBadSector);
  map.Set(4608, 1 << 20, BlockStatus::kNonScraped);
  map.Set(5 << 20, 6 << 20, BlockStatus::kNonTrimmed);
  map.Set(9 << 20, 10 << 20, BlockStatus::kFinished);
  const RescueStatus status{0x500000, RescuePhase::kTrimming, 1};
  const std::string text = FormatMapfile(map, status, "first line\nsecond line");
  EXPECT_EQ(text.substr(0, 29), "# first line\n# second line\n# ");
  EXPECT_NE(text.find("\n0x00500000     *               1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n0x00001000  0x00000200  -\n"), std::string::npos) << text;

  RescueMap read;
  RescueStatus read_status;
  ASSERT_EQ(ParseMapfile(text, 10 << 20, &read, &read_status), 0);
  EXPECT_EQ(read.Blocks(), map.Blocks());
  EXPECT_EQ(read_status.position, status.position);
  EXPECT_EQ(read_status.phase, status.phase);
  EXPECT_EQ(read_status.pass, status.pass);
}

TEST(Mapfile, AcceptsTheNumberFormsAndLayoutsDdrescueAccepts) {
  struct Case {
    const char* name;
    const char* text;
    const char* blocks;
    RescuePhase phase;
    uint64_t position;
  };
  const std::vector<Case> cases = {
      {"decimal, octal and hex", "512 / 2\n0 512 +\n01000 0x200 -\n1024 1024 ?\n",
       "0-512:+ 512-1024:- 1024-2048:?", RescuePhase::kScraping, 512},
      {"status line without a pass", "0 +\n0 2048 +\n", "0-2048:+", RescuePhase::kFinished, 0},
      {"comments after the numbers and blank lines",
       "\n  # heading\n0 - 1 # retrying\n\n0 2048 + # all\n", "0-2048:+", RescuePhase::kRetrying,
       0},
      {"a domain that starts late", "0 ? 1\n1024 1024 +\n", "0-1024:? 1024-2048:+",
       RescuePhase::kCopying, 0},
      {"fill mode says nothing about a copy", "4096 F 1\n0 2048 ?\n", "0-2048:?",
       RescuePhase::kCopying, 0},
      {"position beyond the end is clipped", "99999 ? 2\n0 2048 ?\n", "0-2048:?",
       RescuePhase::kCopying, 2048},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RescueMap map;
    RescueStatus status;
    ASSERT_EQ(ParseMapfile(c.text, 2048, &map, &status), 0);
    EXPECT_EQ(MapText(map), c.blocks);
    EXPECT_EQ(status.phase, c.phase);
    EXPECT_EQ(status.position, c.position);
  }
}

TEST(Mapfile, RefusesWhatIsNoMapOfThisDomain) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"empty", ""},
      {"only comments", "# nothing\n"},
      {"status line only", "0 ? 1\n"},
      {"unknown phase", "0 X 1\n0 2048 +\n"},
      {"unknown block status", "0 ? 1\n0 2048 x\n"},
      {"gap between blocks", "0 ? 1\n0 512 +\n1024 1024 ?\n"},
      {"overlapping blocks", "0 ? 1\n0 1024 +\n512 1536 ?\n"},
      {"ends early: another size", "0 ? 1\n0 1024 +\n"},
      {"ends late: another size", "0 ? 1\n0 4096 +\n"},
      {"block of no bytes", "0 ? 1\n0 0 +\n0 2048 +\n"},
      {"negative number", "0 ? 1\n-512 2560 +\n"},
      {"number with junk", "0 ? 1\n0 2048k +\n"},
      {"number too large", "0 ? 1\n0 99999999999999999999999 +\n"},
      {"pass zero", "0 ? 0\n0 2048 +\n"},
      {"extra word", "0 ? 1\n0 2048 + +\n"},
      {"not a mapfile at all",
       "\x7f"
       "ELF\x02\x01\x01\n"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    RescueMap map(2048);
    map.Set(0, 512, BlockStatus::kFinished);
    RescueStatus status{7, RescuePhase::kScraping, 3};
    EXPECT_EQ(ParseMapfile(text, 2048, &map, &status), err::kInvalidParameter);
    EXPECT_EQ(MapText(map), "0-512:+ 512-2048:?");
    EXPECT_EQ(status.position, 7u);
  }
}

// The file is replaced as a whole; no temporary file stays behind.
TEST(Mapfile, SaveReplacesTheFileAndLoadReadsIt) {
  testing::TempDir temp;
  const std::filesystem::path path = MapfilePath(temp / "card.img");
  EXPECT_EQ(path, temp / "card.img.map");
  RescueMap map(4096);
  map.Set(0, 1024, BlockStatus::kFinished);
  ASSERT_EQ(SaveMapfile(path, map, {}, "one"), 0);
  map.Set(1024, 4096, BlockStatus::kBadSector);
  ASSERT_EQ(SaveMapfile(path, map, {0, RescuePhase::kFinished, 1}, "two"), 0);
  EXPECT_FALSE(std::filesystem::exists(temp / "card.img.map.tmp"));

  RescueMap read;
  RescueStatus status;
  ASSERT_EQ(LoadMapfile(path, 4096, &read, &status), 0);
  EXPECT_EQ(MapText(read), "0-1024:+ 1024-4096:-");
  EXPECT_EQ(status.phase, RescuePhase::kFinished);
  EXPECT_EQ(LoadMapfile(temp / "missing.map", 4096, &read, &status), err::kFileNotFound);
}

}  // namespace
}  // namespace vexlo
