// Byte order and width of every load and store, at aligned and unaligned
// offsets, and the bounds of text fields.
#include "ondisk/endian.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ondisk/field.h"

namespace vexlo {
namespace {

constexpr std::array<uint8_t, 10> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05,
                                            0x06, 0x07, 0x08, 0x89, 0xFF};

TEST(EndianTest, LoadsReadTheirWidthInTheirOrder) {
  EXPECT_EQ(LoadLe16(kBytes, 0), 0x0201u);
  EXPECT_EQ(LoadLe16(kBytes, 8), 0xFF89u);
  EXPECT_EQ(LoadLe32(kBytes, 1), 0x05040302u);
  EXPECT_EQ(LoadLe64(kBytes, 0), 0x0807060504030201u);
  EXPECT_EQ(LoadLe64(kBytes, 2), 0xFF89080706050403u);
  EXPECT_EQ(LoadBe16(kBytes, 8), 0x89FFu);
  EXPECT_EQ(LoadBe32(kBytes, 3), 0x04050607u);
  EXPECT_EQ(LoadLe<uint8_t>(kBytes, 9), 0xFFu);
}

TEST(EndianTest, VariableWidthLoadsTakeTheirLowBytesAndZeroExtend) {
  for (std::size_t width = 0; width <= 8; ++width) {
    const uint64_t want =
        width == 8 ? 0x0807060504030201u : 0x0807060504030201u & ((uint64_t{1} << (8 * width)) - 1);
    EXPECT_EQ(LoadLeN(kBytes, 0, width), want) << "width " << width;
  }
  EXPECT_EQ(LoadLeN(kBytes, 8, 2), 0xFF89u);  // no sign extension
}

TEST(EndianTest, StoresWriteWhatLoadsRead) {
  std::vector<uint8_t> bytes(16, 0xEE);
  StoreLe32(bytes, 1, 0x0A0B0C0D);
  StoreBe16(bytes, 5, 0x1234);
  StoreLe64(bytes, 7, 0x1122334455667788);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xEE, 0x0D, 0x0C, 0x0B, 0x0A, 0x12, 0x34, 0x88, 0x77, 0x66,
                                         0x55, 0x44, 0x33, 0x22, 0x11, 0xEE}));
  EXPECT_EQ(LoadLe32(bytes, 1), 0x0A0B0C0Du);
  EXPECT_EQ(LoadBe16(bytes, 5), 0x1234u);
  EXPECT_EQ(LoadLe64(bytes, 7), 0x1122334455667788u);
  StoreBe32(bytes, 0, 0xCAFEF00D);
  EXPECT_EQ(LoadLe32(bytes, 0), 0x0DF0FECAu);
}

TEST(FieldTest, FieldsUseTheirOffsetAndWidth) {
  constexpr LeField<uint16_t> kWord{3};
  std::vector<uint8_t> bytes(8, 0);
  kWord.Store(bytes, 0xBEEF);
  EXPECT_EQ(bytes[3], 0xEF);
  EXPECT_EQ(bytes[4], 0xBE);
  EXPECT_EQ(kWord.Load(bytes), 0xBEEFu);
  EXPECT_EQ(kWord.end(), 5u);
}

TEST(FieldTest, TextFieldsOutsideTheBytesNeverMatch) {
  constexpr ByteField kLabel{4, 4};
  std::vector<uint8_t> bytes(8, 0);
  kLabel.Store(bytes, "FILE");
  EXPECT_TRUE(kLabel.Holds(bytes, "FILE"));
  EXPECT_FALSE(kLabel.Holds(bytes, "FILF"));
  EXPECT_FALSE(kLabel.Holds(std::span(bytes).first(7), "FILE"));
  EXPECT_FALSE(kLabel.IsZero(bytes));
  EXPECT_TRUE((ByteField{0, 4}).IsZero(bytes));
  // Signatures with bytes above 0x7F compare as bytes, not as signed chars.
  const std::vector<uint8_t> jump = {0, 0, 0, 0, 0xEB, 0x52, 0x90, 0x4E};
  EXPECT_TRUE(kLabel.Holds(jump, "\xEB\x52\x90N"));
}

}  // namespace
}  // namespace vexlo
