#include "platform/text.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

namespace vexlo::platform {
namespace {

TEST(TextTest, Utf16RoundTrips) {
  const std::u16string texts[] = {u"", u"DCIM", u"Fotos_Mädchen", u"写真.jpg", u"\U0001F600 smile"};
  for (const auto& text : texts) {
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  }
}

TEST(TextTest, BrokenInputIsReplacedNotDropped) {
  // An unpaired high surrogate in the middle of a long name.
  const std::u16string broken = u"ab" + std::u16string(1, char16_t{0xD800}) + u"cd";
  EXPECT_EQ(Utf16ToUtf8(broken),
            "ab\xEF\xBF\xBD"
            "cd");
  // Invalid UTF-8 byte.
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
}

TEST(TextTest, Utf16LeBytesIgnoreOddTail) {
  const uint8_t bytes[] = {'A', 0, 'B', 0, 'C'};
  EXPECT_EQ(Utf16LeBytesToUtf8(bytes), "AB");
}

TEST(TextTest, Cp437ShortNames) {
  EXPECT_EQ(Cp437ToUtf8("PHOTO   JPG"), "PHOTO   JPG");
  EXPECT_EQ(Cp437ToUtf8("\x8E"
                        "RGER"),
            "ÄRGER");  // 0x8E is A with diaeresis
  EXPECT_EQ(Cp437ToUtf8("!MAGE"), "!MAGE");
}

// A text limited to `max` bytes, and what the limiting must give.
struct LimitCase {
  std::string text;
  std::size_t max;
  std::string expected;
};

template <typename Limit>
void ExpectLimits(Limit limit, std::span<const LimitCase> cases) {
  for (const LimitCase& c : cases) {
    EXPECT_EQ(limit(c.text, c.max), c.expected) << c.text << " / " << c.max;
  }
}

// The one character outside ASCII may sit anywhere in a name; wherever it
// is, the whole name must be converted.
TEST(TextTest, OneCharacterOutsideAsciiAnywhereIsConverted) {
  struct Case {
    std::string cp437;
    std::string utf8;
  };
  const Case cases[] = {
      {"\x81NDER", "\xC3\xBCNDER"},
      {"M\x81NDER", "M\xC3\xBCNDER"},
      {"MUNDER\x81", "MUNDER\xC3\xBC"},
      {"~1\x7F", "~1\x7F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp437ToUtf8(c.cp437), c.utf8) << c.cp437;
    std::u16string utf16;
    for (const char byte : c.cp437) {
      utf16.push_back(byte == '\x81' ? u'\u00FC' : static_cast<char16_t>(byte));
    }
    EXPECT_EQ(Utf16ToUtf8(utf16), c.utf8) << c.cp437;
  }
}

TEST(TextTest, TruncateAtCharacterBoundary) {
  const LimitCase cases[] = {
      {"short", 10, "short"},
      {"abcdef", 3, "abc"},
      {"ab\xC3\xA4"
       "cd",
       3, "ab"},  // cut inside a two-byte character
      {"ab\xC3\xA4"
       "cd",
       4, "ab\xC3\xA4"},            // exactly after it
      {"\xF0\x9F\x98\x80", 3, ""},  // four-byte character does not fit
  };
  ExpectLimits(TruncateUtf8, cases);
}

TEST(TextTest, ShortenedNamesKeepTheirExtension) {
  const std::string cjk = "\xE5\x86\x99";  // three bytes
  std::string long_stem;
  for (int i = 0; i < 84; ++i) long_stem += cjk;
  const LimitCase cases[] = {
      {"photo.jpg", 9, "photo.jpg"},
      {"photo.jpg", 8, "phot.jpg"},
      {long_stem + ".jpg", 255, long_stem.substr(0, 83 * 3) + ".jpg"},  // 249 + 4 bytes
      {"ab\xC3\xA4.txt", 7, "ab.txt"},  // the stem is cut before the two-byte letter
      {"a.jpg", 4, "a.jp"},             // no character fits before the extension
      {".hidden_file", 5, ".hidd"},     // a leading dot is no extension
      {"noextension", 4, "noex"},
      {"x." + std::string(20, 'e'), 10, "x.eeeeeeee"},  // an extension too long to keep
  };
  ExpectLimits(ShortenKeepingExtension, cases);
}

TEST(TextTest, LowerCaseAsciiOnly) { EXPECT_EQ(ToLowerAscii("IMG_0001.JPG Ä"), "img_0001.jpg Ä"); }

}  // namespace
}  // namespace vexlo::platform
