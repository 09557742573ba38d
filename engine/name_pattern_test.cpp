#include "engine/name_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace vexlo {
namespace {

TEST(NamePattern, MatchesLikeTheShellIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"*.jpg", "IMG_0001.JPG", true},
      {"*.JPG", "img_0001.jpg", true},
      {"*.jpg", "IMG_0001.JPG.tmp", false},
      {"IMG_????.JPG", "IMG_0001.JPG", true},
      {"IMG_????.JPG", "IMG_01.JPG", false},
      {"IMG_[0-4]*", "IMG_3999.JPG", true},
      {"IMG_[0-4]*", "IMG_5000.JPG", false},
      {"IMG_[!0-4]*", "IMG_5000.JPG", true},
      {"IMG_[^0-4]*", "IMG_1000.JPG", false},
      {"[]]x", "]x", true},
      {"*", "", true},
      {"?", "", false},
      {"", "", true},
      {"", "a", false},
      // An unclosed "[" is a plain character.
      {"photo[1", "PHOTO[1", true},
      {"photo[1", "photo1", false},
      // Several stars backtrack to the right split.
      {"*a*b*c", "xxaxxbxxbxxc", true},
      {"*a*b*c", "xxaxxbxxbxxcx", false},
      {"*aaa*", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", true},
      // "*" crosses folders.
      {"dcim/*.jpg", "DCIM/100CANON/IMG_0001.JPG", true},
      {"dcim/*/img_0001.jpg", "DCIM/IMG_0001.JPG", false},
      // Beyond ASCII: one "?" is one character, and case folds.
      {"?rger.txt", "\xC3\x84rger.txt", true},         // Ärger
      {"\xC3\xA4rger.txt", "\xC3\x84RGER.TXT", true},  // ärger / ÄRGER
      {"*\xC5\xBE*",
       "\xC5\xBD"
       "ABA.jpg",
       true},  // ž / Žaba
      {"\xD0\xBC\xD0\xB0\xD0\xBC\xD0\xB0*", "\xD0\x9C\xD0\x90\xD0\x9C\xD0\x90.png",
       true},                                            // мама / МАМА
      {"\xCE\xB1*", "\xCE\x91lpha", true},               // α / Α
      {"??.jpg", "\xE5\x86\x99\xE7\x9C\x9F.jpg", true},  // 写真
      {"?.jpg", "\xE5\x86\x99\xE7\x9C\x9F.jpg", false},
      // Multiplication and division signs are not a case pair.
      {"\xC3\x97", "\xC3\xB7", false},
      // A damaged byte only equals itself.
      {"a?b",
       "a\xFF"
       "b",
       true},
      {"a\xFF"
       "b",
       "a\xFE"
       "b",
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesNamePattern(c.pattern, c.text), c.matches)
        << "'" << c.pattern << "' on '" << c.text << "'";
  }
}

TEST(NamePattern, TellsPatternsFromPlainWords) {
  EXPECT_TRUE(HasWildcards("*.jpg"));
  EXPECT_TRUE(HasWildcards("IMG_?"));
  EXPECT_TRUE(HasWildcards("[ab]"));
  EXPECT_FALSE(HasWildcards("holiday 2024"));
}

}  // namespace
}  // namespace vexlo
