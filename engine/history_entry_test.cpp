#include "engine/history_entry.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

namespace vexlo {
namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

HistoryEntry SampleEntry() {
  HistoryEntry entry;
  entry.disk_number = 3;
  entry.start_sector = 0x0102030405060708;
  entry.sector_count = 0x1112131415161718;
  entry.position = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, false, true};
  entry.free_bytes = 0x31;
  entry.image_write_time = 0x41;
  MediumFingerprint fingerprint;
  for (std::size_t i = 0; i < kFingerprintBytes; ++i)
    fingerprint.bytes[i] = static_cast<uint8_t>(0x51 + i);
  entry.fingerprint = fingerprint;
  entry.image_path = "/img";
  entry.folder = "/log/7/";
  return entry;
}

TEST(HistoryEntryTest, FieldsLieAtTheirOffsetsInLittleEndian) {
  std::array<uint8_t, kHistoryEntryBytes> bytes;
  bytes.fill(0xEE);
  ASSERT_EQ(EncodeHistoryEntry(SampleEntry(), bytes), 0);

  const std::array<uint8_t, 4> disk = {3, 0, 0, 0};
  EXPECT_TRUE(std::equal(disk.begin(), disk.end(), bytes.begin()));
  // Flags: a fingerprint, the stream-continuation flag off, the MTS flag on.
  const std::pair<std::size_t, uint8_t> expected[] = {
      {4, 7},  {7, 0},     {8, 0x08},    {15, 0x01}, {16, 0x18}, {23, 0x11},   {24, 0x21},
      {31, 0}, {32, 0x22}, {40, 0x23},   {48, 0x24}, {56, 0x25}, {64, 0x31},   {72, 0x41},
      {79, 0}, {1087, 0},  {1088, 0x26}, {1095, 0},  {1103, 0},  {1104, 0x51}, {1119, 0x60},
  };
  for (const auto& [offset, value] : expected)
    EXPECT_EQ(bytes[offset], value) << "offset " << offset;
  // "/img" as UTF-16LE, then NUL padding to the end of its field.
  const std::array<uint8_t, 10> image = {'/', 0, 'i', 0, 'm', 0, 'g', 0, 0, 0};
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin() + 80));
  EXPECT_EQ(bytes[599], 0);
  EXPECT_EQ(bytes[600], '/');
  EXPECT_EQ(bytes[601], 0);
}

TEST(HistoryEntryTest, RoundTripKeepsEveryField) {
  const std::string longest = "/" + Repeat("a", kHistoryPathUnits - 2);  // 259 units
  const std::string longest_beside_fingerprint = "/" + Repeat("a", kFingerprintedFolderUnits - 2);
  const std::string longest_pairs = "/" + Repeat("\xF0\x9F\x98\x80", 129);  // 1 + 2 x 129 units
  const struct {
    const char* name;
    std::string image_path;
    std::string folder;
    bool fingerprinted;
  } cases[] = {
      {"disk scan", "", "/home/u/.local/share/ScanLog/1/", true},
      {"non-ASCII", "/media/zoë/Bilder/卡片.img", "/home/jürgen/ScanLog/12/", true},
      {"surrogate pairs", "/tmp/\xF0\x9F\x98\x80.img", "/x/", true},
      {"longest plain paths", longest, longest, false},
      {"longest folder beside a fingerprint", longest, longest_beside_fingerprint, true},
      {"longest path of pairs", longest_pairs, "/y/", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HistoryEntry entry = SampleEntry();
    entry.image_path = c.image_path;
    entry.folder = c.folder;
    if (!c.fingerprinted) {
      entry.fingerprint.reset();
      entry.position.unreadable_sectors = 0;  // kept only beside a fingerprint
    }
    std::array<uint8_t, kHistoryEntryBytes> bytes{};
    ASSERT_EQ(EncodeHistoryEntry(entry, bytes), 0);
    HistoryEntry decoded;
    ASSERT_EQ(DecodeHistoryEntry(bytes, &decoded), 0);
    EXPECT_EQ(decoded, entry);
  }
}

TEST(HistoryEntryTest, PathsThatCannotBeStoredAreRefused) {
  const struct {
    const char* name;
    std::string path;
    int32_t code;
  } cases[] = {
      {"259 units fit", Repeat("b", 259), err::kSuccess},
      {"260 units", Repeat("b", 260), err::kFilenameTooLong},
      {"130 surrogate pairs", Repeat("\xF0\x9F\x98\x80", 130), err::kFilenameTooLong},
      {"not UTF-8", "/tmp/\xFF.img", err::kInvalidParameter},
      {"embedded NUL", std::string("/tmp/a\0b", 8), err::kInvalidParameter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckHistoryPath(c.path), c.code);
    HistoryEntry entry = SampleEntry();
    entry.image_path = c.path;
    std::array<uint8_t, kHistoryEntryBytes> bytes{};
    EXPECT_EQ(EncodeHistoryEntry(entry, bytes), c.code);
  }
}

// Entries that an older program wrote: the flags word and the folder
// field's end are zero. They decode as before, without a fingerprint.
TEST(HistoryEntryTest, OlderEntriesDecodeWithoutFingerprint) {
  HistoryEntry older = SampleEntry();
  older.fingerprint.reset();
  older.position.unreadable_sectors = 0;
  older.position.stream_continuation = true;
  older.position.mts_flag = false;
  std::array<uint8_t, kHistoryEntryBytes> bytes{};
  ASSERT_EQ(EncodeHistoryEntry(older, bytes), 0);
  for (std::size_t at = history_field::kFlags.offset; at < history_field::kFlags.end(); ++at)
    EXPECT_EQ(bytes[at], 0);
  for (std::size_t at = history_field::kUnreadableSectors.offset; at < kHistoryEntryBytes; ++at)
    EXPECT_EQ(bytes[at], 0);
  HistoryEntry decoded;
  ASSERT_EQ(DecodeHistoryEntry(bytes, &decoded), 0);
  EXPECT_EQ(decoded, older);
  EXPECT_FALSE(decoded.fingerprint.has_value());
}

TEST(HistoryEntryTest, FolderBesideAFingerprintMustEndBeforeIt) {
  HistoryEntry entry = SampleEntry();
  entry.fingerprint.reset();
  entry.folder = "/" + Repeat("c", kFingerprintedFolderUnits);  // runs into the end of the field
  std::array<uint8_t, kHistoryEntryBytes> bytes{};
  ASSERT_EQ(EncodeHistoryEntry(entry, bytes), 0);
  HistoryEntry decoded;
  ASSERT_EQ(DecodeHistoryEntry(bytes, &decoded), 0);
  bytes[history_field::kFlags.offset] |= history_flag::kFingerprint;
  EXPECT_EQ(DecodeHistoryEntry(bytes, &decoded), err::kInvalidParameter);
  entry.fingerprint = SampleEntry().fingerprint;
  EXPECT_EQ(EncodeHistoryEntry(entry, bytes), err::kFilenameTooLong);
}

TEST(HistoryEntryTest, PathFieldWithoutTerminatorIsUnreadable) {
  std::array<uint8_t, kHistoryEntryBytes> good{};
  ASSERT_EQ(EncodeHistoryEntry(SampleEntry(), good), 0);
  const struct {
    const char* name;
    std::size_t field_offset;
  } cases[] = {{"image path", history_field::kImagePath}, {"folder", history_field::kFolder}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = good;
    // Zero bytes that straddle two units are not a terminator.
    for (std::size_t i = 0; i < kHistoryPathUnits * 2; i += 2) {
      bytes[c.field_offset + i] = (i / 2) % 2 == 0 ? 'A' : 0;
      bytes[c.field_offset + i + 1] = (i / 2) % 2 == 0 ? 0 : 'B';
    }
    HistoryEntry decoded = SampleEntry();
    EXPECT_EQ(DecodeHistoryEntry(bytes, &decoded), err::kInvalidParameter);
    EXPECT_EQ(decoded, SampleEntry());  // untouched on failure
  }
}

}  // namespace
}  // namespace vexlo
