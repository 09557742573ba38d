// Little-endian loads from the bytes of an NTFS structure.
//
// Callers check that the bytes they load lie inside the structure; these
// helpers only assemble the value, so that no code casts a packed struct onto
// a medium's bytes.
#pragma once

#include <cstdint>

namespace vexlo::ntfs {

inline uint16_t Le16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t Le32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
         (uint32_t{bytes[3]} << 24);
}

inline uint64_t Le64(const uint8_t* bytes) {
  return uint64_t{Le32(bytes)} | (uint64_t{Le32(bytes + 4)} << 32);
}

inline void StoreLe16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace vexlo::ntfs
