#include "platform/text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <type_traits>

namespace vexlo::platform {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Runs one iconv conversion over the whole input. An invalid or incomplete
// input sequence is replaced by U+FFFD in the output and skipped by
// `skip_bytes` input bytes, so conversion always terminates.
std::string Convert(const char* from, std::string_view input, std::size_t skip_bytes) {
  std::string output;
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return output;
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::array<char, 1024> chunk;
  while (in_left > 0) {
    char* out = chunk.data();
    std::size_t out_left = chunk.size();
    std::size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    output.append(chunk.data(), chunk.size() - out_left);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: bad or truncated sequence.
    output.append(kReplacementUtf8);
    std::size_t skip = in_left < skip_bytes ? in_left : skip_bytes;
    in += skip;
    in_left -= skip;
  }
  iconv_close(cd);
  return output;
}

// Names on cards are nearly always ASCII, which both CP437 and UTF-16 carry
// unchanged; opening a converter per name was a tenth of a quick scan.
template <typename Char>
bool IsAscii(std::basic_string_view<Char> text) {
  return std::all_of(text.begin(), text.end(),
                     [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) < 0x80; });
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  if (IsAscii(text)) return std::string(text.begin(), text.end());
  std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  static_assert(std::endian::native == std::endian::little);
  return Convert("UTF-16LE", bytes, 2);
}

std::string Utf16LeBytesToUtf8(std::span<const uint8_t> bytes) {
  std::string_view view(reinterpret_cast<const char*>(bytes.data()),
                        bytes.size() & ~std::size_t{1});
  return Convert("UTF-16LE", view, 2);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string output;
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return output;
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  std::array<char16_t, 512> chunk;
  while (in_left > 0) {
    char* out = reinterpret_cast<char*>(chunk.data());
    std::size_t out_left = sizeof(chunk);
    std::size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    output.append(chunk.data(), (sizeof(chunk) - out_left) / 2);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    output.push_back(u'\uFFFD');
    ++in;
    --in_left;
  }
  iconv_close(cd);
  return output;
}

std::string Cp437ToUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  return Convert("CP437", bytes, 1);
}

std::string_view TruncateUtf8(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  // Step back over continuation bytes to the start of the cut sequence.
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string ShortenKeepingExtension(std::string_view name, std::size_t max_bytes) {
  if (name.size() <= max_bytes) return std::string(name);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) {
    const std::string_view extension = name.substr(dot);
    if (extension.size() < max_bytes) {
      const std::string_view stem = TruncateUtf8(name.substr(0, dot), max_bytes - extension.size());
      if (!stem.empty()) return std::string(stem) + std::string(extension);
    }
  }
  return std::string(TruncateUtf8(name, max_bytes));
}

std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLowerAscii(c);
  return lower;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return ToLowerAscii(x) == ToLowerAscii(y); });
}

}  // namespace vexlo::platform
