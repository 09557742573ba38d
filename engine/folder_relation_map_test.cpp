#include "engine/folder_relation_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/folder_info_list.h"

namespace vexlo {
namespace {

TEST(FolderRelationMapTest, FormatsKeysUnsignedAndNumbersSigned) {
  const FolderRelationMap map = {
      {0, {1, 2, 5}},
      {MakeFolderKey(2, 1), {3, 4}},
      {UINT64_MAX, {0x80000000u}},
  };
  EXPECT_EQ(FormatFolderRelationMap(map),
            " | 0 - [1,2,5] | 4294967298 - [3,4] | 18446744073709551615 - [-2147483648]");
}

TEST(FolderRelationMapTest, ParsesWhatItFormats) {
  const FolderRelationMap map = {
      {MakeFolderKey(7, UINT32_MAX), {9}},
      {0, {1, 2, 5}},
      {MakeFolderKey(2, 1), {3, 4}},
      {UINT64_MAX, {0xFFFFFFFFu}},
  };
  FolderRelationMap parsed;
  const RelationParseResult result =
      ParseFolderRelationMap(FormatFolderRelationMap(map), UINT32_MAX, &parsed);
  EXPECT_EQ(parsed, map);
  EXPECT_EQ(result.problems, 0u);
  EXPECT_EQ(result.numbers_kept, 7u);
}

TEST(FolderRelationMapTest, KeepsWhatItCanOfDamagedText) {
  struct Case {
    const char* what;
    std::string text;
    FolderRelationMap expected;
    bool problems;
  };
  const Case cases[] = {
      {"empty", "", {}, false},
      {"empty list", " | 0 - []", {}, false},
      {"same key twice", " | 0 - [1] | 0 - [2]", {{0, {1, 2}}}, false},
      {"blank-free list mark", " | 5- [1]", {{5, {1}}}, false},
      {"garbage", "\x01\xff garbage", {}, true},
      {"unterminated list", " | 0 - [1,2,5", {{0, {1, 2}}}, true},
      {"cut after an entry", " | 0 - [1,2,5] | 7 - [3", {{0, {1, 2, 5}}}, true},
      {"list cut by next entry", " | 0 - [1 | 5 - [2]", {{5, {2}}}, true},
      {"key without digits", " | abc - [1] | 1 - [2]", {{1, {2}}}, true},
      {"key too large", " | 18446744073709551616 - [1]", {}, true},
      {"no list mark", " | 5 [1] | 6 - [2]", {{6, {2}}}, true},
      {"bad number", " | 0 - [1,x,,3]", {{0, {1, 3}}}, true},
      {"record beyond the file", " | 0 - [1,11,10]", {{0, {1, 10}}}, true},
      {"record zero or negative", " | 0 - [0,-1,2]", {{0, {2}}}, true},
      {"number too large", " | 0 - [99999999999]", {}, true},
      {"trailing garbage", " | 0 - [1]xyz", {{0, {1}}}, true},
      {"only separators", " | | | ", {}, true},
      {"text cut inside a key", " | 0 - [1] | 42", {{0, {1}}}, true},
      {"embedded NUL", std::string(" | 0 - [1\0,2]", 13), {{0, {2}}}, true},
  };
  for (const Case& c : cases) {
    FolderRelationMap map;
    const RelationParseResult result = ParseFolderRelationMap(c.text, 10, &map);
    EXPECT_EQ(map, c.expected) << c.what;
    EXPECT_EQ(result.problems > 0, c.problems) << c.what;
  }
}

TEST(FolderRelationMapTest, ManyBrokenEntriesStayLinear) {
  // Each entry lacks its list mark; a parser that searched the rest of the
  // text for it from every entry would take quadratic time here.
  std::string text;
  for (int i = 0; i < 200000; ++i) text += " | 1";
  FolderRelationMap map;
  EXPECT_EQ(ParseFolderRelationMap(text, 10, &map).problems, 200000u);
  EXPECT_TRUE(map.empty());
}

TEST(FolderInfoListTest, DropsEntriesItCannotTrust) {
  std::vector<uint8_t> bytes;
  auto add = [&](const FolderInfoEntry& entry) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&entry);
    bytes.insert(bytes.end(), raw, raw + kFolderInfoEntryBytes);
  };
  add(FolderInfoEntry::Make(7, 1, "DCIM"));
  add(FolderInfoEntry::Make(8, 0, "zero"));
  add(FolderInfoEntry::Make(9, 4, "beyond"));
  FolderInfoEntry unterminated = FolderInfoEntry::Make(10, 3, "");
  std::fill(std::begin(unterminated.name), std::end(unterminated.name), 'n');
  add(unterminated);
  bytes.resize(bytes.size() + 100, 0xEE);  // torn last entry

  std::vector<FolderInfoEntry> list;
  const FolderInfoParseResult result = ParseFolderInfoList(bytes, 3, &list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(result.problems, 3u);
  EXPECT_EQ(list[0].key, 7u);
  EXPECT_EQ(list[0].Name(), "DCIM");
  EXPECT_EQ(list[1].Name(), std::string(kRecordNameMaxText, 'n'));
}

TEST(FolderInfoListTest, MakeCutsLongNamesAtACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 150; ++i) name += "\xC3\xA9";  // 300 bytes of two-byte characters
  const FolderInfoEntry entry = FolderInfoEntry::Make(1, 1, name);
  EXPECT_EQ(entry.Name().size(), 258u);
  EXPECT_EQ(FolderInfoEntry::Make(1, 1, std::string("a\0b", 3)).Name(), "a");
}

}  // namespace
}  // namespace vexlo
