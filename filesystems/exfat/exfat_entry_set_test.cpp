#include "filesystems/exfat/exfat_entry_set.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/filetime.h"
#include "tests/support/exfat_image.h"

namespace vexlo::exfat {
namespace {

// A set as a driver writes it: file, stream, names; checksum filled in.
std::vector<uint8_t> MakeSet(std::u16string_view name, uint64_t valid, uint64_t length) {
  const std::size_t names = (name.size() + 14) / 15;
  std::vector<uint8_t> set((2 + names) * 32, 0);
  set[0] = 0x85;
  set[1] = static_cast<uint8_t>(1 + names);
  set[32] = 0xC0;
  set[33] = 0x03;
  set[35] = static_cast<uint8_t>(name.size());
  for (int i = 0; i < 8; ++i) set[40 + i] = static_cast<uint8_t>(valid >> (8 * i));
  set[52] = 7;  // first cluster
  for (int i = 0; i < 8; ++i) set[56 + i] = static_cast<uint8_t>(length >> (8 * i));
  for (std::size_t i = 0; i < name.size(); ++i) {
    set[(2 + i / 15) * 32] = 0xC1;
    set[(2 + i / 15) * 32 + 2 + 2 * (i % 15)] = static_cast<uint8_t>(name[i]);
    set[(2 + i / 15) * 32 + 3 + 2 * (i % 15)] = static_cast<uint8_t>(name[i] >> 8);
  }
  const uint16_t sum = testing::TestSetChecksum(set);
  set[2] = static_cast<uint8_t>(sum);
  set[3] = static_cast<uint8_t>(sum >> 8);
  return set;
}

void Delete(std::vector<uint8_t>& set) {
  for (std::size_t at = 0; at < set.size(); at += 32) set[at] &= 0x7F;
}

TEST(ExFatEntrySetTest, ParsesLiveAndDeletedSets) {
  const std::u16string name = u"Fotos vom Strand – Sommer 2024 Nummer eins.jpeg";
  auto set = MakeSet(name, 100, 5000);
  auto live = ParseEntrySet(set);
  ASSERT_TRUE(live);
  EXPECT_FALSE(live->deleted);
  EXPECT_TRUE(live->checksum_ok);
  EXPECT_EQ(live->name, name);
  EXPECT_EQ(live->first_cluster, 7u);
  EXPECT_EQ(live->valid_data_length, 100u);
  EXPECT_EQ(live->data_length, 5000u);
  EXPECT_TRUE(live->no_fat_chain);

  // The checksum covers the types as written, so deletion keeps it valid.
  Delete(set);
  auto gone = ParseEntrySet(set);
  ASSERT_TRUE(gone);
  EXPECT_TRUE(gone->deleted);
  EXPECT_TRUE(gone->checksum_ok);
  EXPECT_EQ(gone->name, name);

  // A damaged set is still listed when its structure holds.
  set[40] ^= 1;
  gone = ParseEntrySet(set);
  ASSERT_TRUE(gone);
  EXPECT_FALSE(gone->checksum_ok);
}

TEST(ExFatEntrySetTest, RefusesImplausibleSets) {
  struct Case {
    const char* what;
    std::size_t at;
    uint8_t value;
  };
  // 20 characters: two name entries, four entries in all.
  const Case cases[] = {
      {"secondary count disagrees with the set", 1, 2},
      {"no stream extension second", 32, 0xC1},
      {"name length 0", 35, 0},
      {"name longer than its entries", 35, 31},
      {"a name entry replaced", 96, 0xE0},
      {"in-use bits disagree", 64, 0x41},
      {"valid length above data length", 47, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto set = MakeSet(u"twenty characters!!!", 10, 20);
    set[c.at] = c.value;
    EXPECT_FALSE(ParseEntrySet(set));
  }
  EXPECT_FALSE(ParseEntrySet(std::vector<uint8_t>(64, 0))) << "too short for a set";
}

TEST(ExFatEntrySetTest, TimeStamps) {
  struct Case {
    uint32_t stamp;
    uint8_t increment;
    uint8_t offset;
    uint64_t filetime;
    std::optional<int32_t> offset_minutes;
  };
  // 2024-07-15 13:45:58: date (44 << 9 | 7 << 5 | 15), time (13 << 11 | 45 << 5 | 29).
  const uint32_t stamp =
      (uint32_t{(44u << 9) | (7u << 5) | 15u} << 16) | ((13u << 11) | (45u << 5) | 29u);
  const Case cases[] = {
      {stamp, 0, 0, platform::FiletimeFromCalendar(2024, 7, 15, 13, 45, 58), std::nullopt},
      {stamp, 199, 0x80 | 8, platform::FiletimeFromCalendar(2024, 7, 15, 13, 45, 59, 990), 120},
      {stamp, 50, 0x80 | 0x7C, platform::FiletimeFromCalendar(2024, 7, 15, 13, 45, 58, 500), -60},
      {stamp, 200, 0, 0, std::nullopt},
      {0, 0, 0, 0, std::nullopt},  // month 0
  };
  for (const Case& c : cases) {
    const ExFatTimestamp t{c.stamp, c.increment, c.offset};
    EXPECT_EQ(t.ToFiletime(), c.filetime);
    EXPECT_EQ(t.UtcOffsetMinutes(), c.offset_minutes);
  }
}

TEST(ExFatEntrySetTest, AssemblerFindsSetsAmongOtherEntries) {
  const auto a = MakeSet(u"a.txt", 1, 1);
  const auto b = MakeSet(u"a rather longer name of b.bin", 1, 1);
  std::vector<uint8_t> stream;
  auto add = [&](const std::vector<uint8_t>& bytes) {
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  };
  add(std::vector<uint8_t>(32, 0x83));                   // volume label
  add(std::vector<uint8_t>(a.begin(), a.begin() + 64));  // a cut short by b
  add(b);
  add(std::vector<uint8_t>(b.begin() + 32, b.begin() + 64));  // orphan secondary
  auto absurd = a;
  absurd[1] = 40;  // secondary count beyond exFAT's limit
  add(absurd);
  add(a);
  EntrySetAssembler assembler;
  std::vector<std::u16string> names;
  std::vector<uint64_t> stream_sectors;
  for (std::size_t at = 0; at < stream.size(); at += 32) {
    if (!assembler.Add(&stream[at], at / 512 + 100)) continue;
    const auto set = ParseEntrySet(assembler.set());
    ASSERT_TRUE(set);
    names.push_back(set->name);
    stream_sectors.push_back(assembler.stream_sector());
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a rather longer name of b.bin", u"a.txt"}));
  EXPECT_EQ(stream_sectors, (std::vector<uint64_t>{100, 100}));
}

}  // namespace
}  // namespace vexlo::exfat
