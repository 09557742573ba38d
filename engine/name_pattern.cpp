#include "engine/name_pattern.h"

#include <cstddef>

namespace vexlo {
namespace {

// Any byte that does not start a valid sequence stands for itself, shifted
// above the Unicode range so that it only ever equals the same byte.
constexpr char32_t kRawByte = 0x110000;

char32_t NextCodePoint(std::string_view text, std::size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  std::size_t length = 1;
  char32_t value = lead;
  if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
  } else if (lead >= 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0x80) {
    ++*pos;
    return kRawByte + lead;
  }
  if (length > 1) {
    if (*pos + length > text.size()) {
      ++*pos;
      return kRawByte + lead;
    }
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[*pos + i]);
      if ((next & 0xC0u) != 0x80u) {
        ++*pos;
        return kRawByte + lead;
      }
      value = (value << 6) | (next & 0x3Fu);
    }
  }
  *pos += length;
  return value;
}

char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c < 0xC0) return c;
  // Latin-1: À..Þ except the multiplication sign.
  if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
  // Latin Extended-A pairs upper and lower case as even and odd, with the
  // stretch from Ĺ to Ň and from Ź to Ž shifted by one.
  if (c >= 0x100 && c <= 0x137) return c | 1u;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1u) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1u;
  if (c == 0x178) return 0xFF;
  // Greek capitals (the gap at U+03A2 has no letter).
  if (c >= 0x391 && c <= 0x3A9) return c + 0x20;
  // Cyrillic: Ѐ..Џ and А..Я.
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

// The set at pattern[*pos] (just past its "["). Returns false when the set
// has no closing "]"; else whether `c` (already folded) is in it, with *pos
// moved past the "]".
bool MatchSet(std::string_view pattern, std::size_t* pos, char32_t c, bool* matched) {
  std::size_t p = *pos;
  bool negate = false;
  if (p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^')) {
    negate = true;
    ++p;
  }
  bool in_set = false;
  bool first = true;
  while (p < pattern.size()) {
    if (pattern[p] == ']' && !first) {
      *pos = p + 1;
      *matched = in_set != negate;
      return true;
    }
    first = false;
    const char32_t low = FoldCase(NextCodePoint(pattern, &p));
    char32_t high = low;
    if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
      ++p;
      high = FoldCase(NextCodePoint(pattern, &p));
    }
    if (c >= low && c <= high) in_set = true;
  }
  return false;
}

}  // namespace

bool MatchesNamePattern(std::string_view pattern, std::string_view text) {
  std::size_t p = 0;
  std::size_t t = 0;
  // Where the last "*" was seen, and where in the text it is tried next:
  // every star retries from there, which keeps the match linear per star
  // instead of exponential.
  std::size_t star_p = std::string_view::npos;
  std::size_t star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      if (pattern[p] == '*') {
        star_p = ++p;
        star_t = t;
        continue;
      }
      std::size_t next_t = t;
      const char32_t c = FoldCase(NextCodePoint(text, &next_t));
      if (pattern[p] == '?') {
        ++p;
        t = next_t;
        continue;
      }
      std::size_t next_p = p + 1;
      bool matched = false;
      if (pattern[p] == '[' && MatchSet(pattern, &next_p, c, &matched)) {
        if (matched) {
          p = next_p;
          t = next_t;
          continue;
        }
      } else {
        next_p = p;
        if (FoldCase(NextCodePoint(pattern, &next_p)) == c) {
          p = next_p;
          t = next_t;
          continue;
        }
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    (void)NextCodePoint(text, &star_t);
    t = star_t;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool HasWildcards(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}

}  // namespace vexlo
