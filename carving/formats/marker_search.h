// Searches for a byte marker in a buffer: the end-marker searches of the
// length rules, which look through every chunk of a file they measure.
//
// A marker's first byte alone is common in real data (FF in compressed
// streams, 00 in zero fill), so the search looks at a whole block of
// candidate starts at once and keeps those whose first and last bytes are in
// place; only those are compared in full. The *Plain functions are the simple
// reference the fast ones must always agree with (tests compare them).
#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo::carving {

// First occurrence of `marker` in [begin, end), or nullptr.
const uint8_t* FindMarker(const uint8_t* begin, const uint8_t* end, std::string_view marker);

// Last occurrence of `marker` in [begin, end), or nullptr.
const uint8_t* FindLastMarker(const uint8_t* begin, const uint8_t* end, std::string_view marker);

const uint8_t* FindMarkerPlain(const uint8_t* begin, const uint8_t* end, std::string_view marker);
const uint8_t* FindLastMarkerPlain(const uint8_t* begin, const uint8_t* end,
                                   std::string_view marker);

}  // namespace vexlo::carving
