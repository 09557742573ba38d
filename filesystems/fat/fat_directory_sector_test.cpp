#include "filesystems/fat/fat_directory_sector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "filesystems/fat/fat_dir_entry.h"

namespace vexlo::fat {
namespace {

constexpr std::size_t kSector = 512;
using Sector = std::vector<uint8_t>;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// A live file entry named by its 11 raw name bytes, created 2020-01-01 12:00.
void PutFile(uint8_t* entry, const char* name11) {
  std::memcpy(entry, name11, 11);
  entry[11] = kAttrArchive;
  const uint16_t date = ((2020 - 1980) << 9) | (1 << 5) | 1;
  Put16(entry + 14, 0x6000);
  Put16(entry + 16, date);
  Put16(entry + 18, date);
  Put16(entry + 22, 0x6000);
  Put16(entry + 24, date);
  Put16(entry + 26, 3);
  entry[28] = 100;
}

void PutLongName(uint8_t* entry, uint8_t sequence, uint8_t checksum) {
  entry[0] = sequence;
  for (int i = 0; i < 5; ++i) Put16(entry + 1 + 2 * i, static_cast<uint16_t>('a' + i));
  entry[11] = kAttrLongName;
  entry[13] = checksum;
}

struct Case {
  const char* label;
  std::function<void(uint8_t*)> fill;
  bool expected;
};

const Case kCases[] = {
    {"zeros", [](uint8_t*) {}, false},
    {"one_file_then_end", [](uint8_t* s) { PutFile(s, "README  TXT"); }, true},
    {"full_sector_of_files",
     [](uint8_t* s) {
       for (std::size_t i = 0; i < kSector / 32; ++i) {
         PutFile(s + 32 * i, "PHOTO   JPG");
         s[32 * i + 5] = static_cast<uint8_t>('A' + i);
       }
     },
     true},
    {"data_after_end_mark",
     [](uint8_t* s) {
       PutFile(s, "README  TXT");
       s[100] = 1;
     },
     false},
    {"lower_case_name", [](uint8_t* s) { PutFile(s, "readme  txt"); }, false},
    {"blank_inside_name", [](uint8_t* s) { PutFile(s, "READ ME TXT"); }, false},
    {"no_creation_time",
     [](uint8_t* s) {
       PutFile(s, "README  TXT");
       Put16(s + 14, 0);
     },
     false},
    {"long_name_leads_to_its_entry",
     [](uint8_t* s) {
       PutFile(s + 64, "LONGNA~1TXT");
       const uint8_t sum = ShortNameChecksum(s + 64);
       PutLongName(s, 0x42, sum);
       PutLongName(s + 32, 0x01, sum);
     },
     true},
    {"long_name_with_wrong_checksum",
     [](uint8_t* s) {
       PutFile(s + 32, "LONGNA~1TXT");
       PutLongName(s, 0x41, static_cast<uint8_t>(ShortNameChecksum(s + 32) + 1));
     },
     false},
    {"long_name_before_deleted_entry",
     [](uint8_t* s) {
       PutFile(s + 32, "\xE5ONGNA~1TXT");
       PutLongName(s, 0xE5, 0x33);
     },
     true},
    {"double_byte_pair_broken",
     [](uint8_t* s) {
       PutFile(s,
               "AB\x81"
               "CDEFGTXT");
     },
     false},
    {"repeating_fill",
     [](uint8_t* s) {
       for (std::size_t i = 0; i < kSector; ++i) s[i] = static_cast<uint8_t>('A' + i % 16);
     },
     false},
};

class FatDirectorySectorTest : public ::testing::TestWithParam<Case> {};

TEST_P(FatDirectorySectorTest, Classifies) {
  Sector sector(kSector, 0);
  GetParam().fill(sector.data());
  EXPECT_EQ(IsFatDirectorySector(sector.data(), sector.size()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sectors, FatDirectorySectorTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FatDirectorySector, ShortBufferPasses) {
  const uint8_t bytes[16] = {};
  EXPECT_TRUE(IsFatDirectorySector(bytes, sizeof(bytes)));
}

}  // namespace
}  // namespace vexlo::fat
