// Little-endian loads from on-disk bytes. FAT structures are read field by
// field at their byte offsets, never by casting a struct onto the medium.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo::fat {

inline uint16_t Le16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t Le32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
         (uint32_t{bytes[3]} << 24);
}

}  // namespace vexlo::fat
