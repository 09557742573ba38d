// Bounds-checked literal tests and marker searches over a sector buffer.
//
// Every header test and length rule reads untrusted bytes through these, so
// an offset past the buffer answers "no match" instead of reading beyond it.
// Integers are read through ondisk/endian.h, after a length check.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "carving/formats/marker_search.h"
#include "ondisk/endian.h"

namespace vexlo::carving {

// The byte order that a TIFF header (and the TIFF-like multi-picture index
// of JPEG files) declares for every field after it: "MM" big-endian, "II"
// little-endian. The caller checks that fields lie inside the span.
struct FieldOrder {
  bool big;

  uint16_t U16(std::span<const uint8_t> bytes, std::size_t offset) const {
    return big ? LoadBe16(bytes, offset) : LoadLe16(bytes, offset);
  }
  uint32_t U32(std::span<const uint8_t> bytes, std::size_t offset) const {
    return big ? LoadBe32(bytes, offset) : LoadLe32(bytes, offset);
  }
};

// True when `literal` lies at `offset` and wholly inside the buffer.
inline bool HasAt(const uint8_t* buffer, std::size_t length, std::size_t offset,
                  std::string_view literal) {
  return offset <= length && literal.size() <= length - offset &&
         std::memcmp(buffer + offset, literal.data(), literal.size()) == 0;
}

// A RIFF file of `form` ("WAVE", "AVI ") whose first chunk is `first_chunk`.
inline bool IsRiffForm(const uint8_t* buffer, std::size_t length, std::string_view form,
                       std::string_view first_chunk) {
  return length >= 16 && HasAt(buffer, length, 0, "RIFF") && HasAt(buffer, length, 8, form) &&
         HasAt(buffer, length, 12, first_chunk);
}

// A marker ending at `end_offset` (counted from the first byte of a buffer
// that starts on a sector boundary) ends cleanly when the next byte starts a
// new sector or when only zero bytes follow it up to the end of its sector.
inline bool IsCleanEnd(const uint8_t* buffer, std::size_t length, std::size_t end_offset,
                       uint32_t sector_bytes) {
  if (end_offset % sector_bytes == 0) return true;
  const std::size_t sector_end = std::min(length, (end_offset / sector_bytes + 1) * sector_bytes);
  for (std::size_t i = end_offset; i < sector_end; ++i) {
    if (buffer[i] != 0) return false;
  }
  return true;
}

}  // namespace vexlo::carving
