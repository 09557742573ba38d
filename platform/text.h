// Text conversion at the boundaries of the system.
//
// Names inside found-file records and store files are UTF-8 (the system's
// "ANSI" code page on Linux). Media bring UTF-16LE (NTFS, FAT long names,
// exFAT) and code page 437 (FAT short names); history files keep UTF-16LE
// paths. All conversions go through iconv; invalid input never throws, it is
// replaced by U+FFFD so that a damaged name still shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexlo::platform {

// UTF-16 code units (host order) to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-16LE bytes as they lie on a medium (length in bytes; an odd last byte is
// ignored) to UTF-8.
std::string Utf16LeBytesToUtf8(std::span<const uint8_t> bytes);

// UTF-8 to UTF-16 code units. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// Code page 437 bytes (FAT short names) to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);

// The longest prefix of `text` that has at most `max_bytes` bytes and does not
// end inside a UTF-8 sequence.
std::string_view TruncateUtf8(std::string_view text, std::size_t max_bytes);

// `name` in at most `max_bytes`, cut at a character boundary. The extension
// (from the last dot) survives whole, since it decides the file's type and
// category, as long as one character of the name still fits before it;
// otherwise the name is cut like TruncateUtf8.
std::string ShortenKeepingExtension(std::string_view name, std::size_t max_bytes);

// ASCII lower case; bytes of multi-byte UTF-8 sequences are left alone, which
// is all the extension and category rules need.
std::string ToLowerAscii(std::string_view text);
constexpr char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// Equal when the ASCII letters are folded to lower case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace vexlo::platform
