// Integers at byte offsets of on-disk structures, little- or big-endian.
//
// Whatever this program reads from a medium (boot sectors, directory
// entries, file records, the headers of carved files) or keeps in files of
// its own is read and written field by field through these, never by casting
// a struct onto the bytes: a medium's byte order is fixed whatever the
// host's, and its bytes owe nothing to the host's alignment.
//
// The caller makes sure that the field lies inside `bytes`: the tests of
// untrusted structures check their lengths once, up front, rather than per
// field. Debug builds assert it, so that a test that strays beyond its span
// fails even where the bytes behind the span would be readable.
#pragma once

#include <bit>
#include <cassert>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vexlo {

namespace endian_detail {

inline void AssertInside(std::size_t size, std::size_t offset, std::size_t width) {
  assert(offset <= size && width <= size - offset);
  (void)size, (void)offset, (void)width;
}

template <std::unsigned_integral T>
constexpr T Swapped(T value) {
  if constexpr (sizeof(T) == 1) {
    return value;
  } else if constexpr (sizeof(T) == 2) {
    return __builtin_bswap16(value);
  } else if constexpr (sizeof(T) == 4) {
    return __builtin_bswap32(value);
  } else {
    return __builtin_bswap64(value);
  }
}

// `value` in the given byte order from or to the host's.
template <std::unsigned_integral T, std::endian kOrder>
constexpr T Ordered(T value) {
  return kOrder == std::endian::native ? value : Swapped(value);
}

template <std::unsigned_integral T, std::endian kOrder>
T Load(std::span<const uint8_t> bytes, std::size_t offset) {
  AssertInside(bytes.size(), offset, sizeof(T));
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return Ordered<T, kOrder>(value);
}

template <std::unsigned_integral T, std::endian kOrder>
void Store(std::span<uint8_t> bytes, std::size_t offset, T value) {
  AssertInside(bytes.size(), offset, sizeof(T));
  value = Ordered<T, kOrder>(value);
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

}  // namespace endian_detail

template <std::unsigned_integral T>
[[nodiscard]] inline T LoadLe(std::span<const uint8_t> bytes, std::size_t offset) {
  return endian_detail::Load<T, std::endian::little>(bytes, offset);
}
template <std::unsigned_integral T>
inline void StoreLe(std::span<uint8_t> bytes, std::size_t offset, T value) {
  endian_detail::Store<T, std::endian::little>(bytes, offset, value);
}

[[nodiscard]] inline uint16_t LoadLe16(std::span<const uint8_t> bytes, std::size_t offset) {
  return LoadLe<uint16_t>(bytes, offset);
}
[[nodiscard]] inline uint32_t LoadLe32(std::span<const uint8_t> bytes, std::size_t offset) {
  return LoadLe<uint32_t>(bytes, offset);
}
[[nodiscard]] inline uint64_t LoadLe64(std::span<const uint8_t> bytes, std::size_t offset) {
  return LoadLe<uint64_t>(bytes, offset);
}
[[nodiscard]] inline uint16_t LoadBe16(std::span<const uint8_t> bytes, std::size_t offset) {
  return endian_detail::Load<uint16_t, std::endian::big>(bytes, offset);
}
[[nodiscard]] inline uint32_t LoadBe32(std::span<const uint8_t> bytes, std::size_t offset) {
  return endian_detail::Load<uint32_t, std::endian::big>(bytes, offset);
}

// A little-endian field of `width` bytes (0 to 8), as the variable-width
// fields of NTFS run lists are; zero-extended.
[[nodiscard]] inline uint64_t LoadLeN(std::span<const uint8_t> bytes, std::size_t offset,
                                      std::size_t width) {
  endian_detail::AssertInside(bytes.size(), offset, width);
  assert(width <= 8);
  uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

inline void StoreLe16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) {
  StoreLe<uint16_t>(bytes, offset, value);
}
inline void StoreLe32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) {
  StoreLe<uint32_t>(bytes, offset, value);
}
inline void StoreLe64(std::span<uint8_t> bytes, std::size_t offset, uint64_t value) {
  StoreLe<uint64_t>(bytes, offset, value);
}
inline void StoreBe16(std::span<uint8_t> bytes, std::size_t offset, uint16_t value) {
  endian_detail::Store<uint16_t, std::endian::big>(bytes, offset, value);
}
inline void StoreBe32(std::span<uint8_t> bytes, std::size_t offset, uint32_t value) {
  endian_detail::Store<uint32_t, std::endian::big>(bytes, offset, value);
}

}  // namespace vexlo
