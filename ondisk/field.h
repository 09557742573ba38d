// Fields of fixed-layout on-disk structures.
//
// A layout is a list of these: each names a field's byte offset and, through
// its type, its width, so that a structure's offsets are written once and
// its readers, its validity tests and the encoders of the tests agree on
// them. Loads and stores follow the rule of endian.h: the caller makes sure
// that the structure's bytes cover the field.
#pragma once

#include <algorithm>
#include <cassert>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "ondisk/endian.h"

namespace vexlo {

// A little-endian unsigned integer of sizeof(T) bytes at `offset`.
template <std::unsigned_integral T>
struct LeField {
  std::size_t offset;

  constexpr std::size_t end() const { return offset + sizeof(T); }
  [[nodiscard]] T Load(std::span<const uint8_t> bytes) const { return LoadLe<T>(bytes, offset); }
  void Store(std::span<uint8_t> bytes, T value) const { StoreLe<T>(bytes, offset, value); }
};

// Bytes of fixed length at `offset`: a signature, a blank-padded label.
struct ByteField {
  std::size_t offset;
  std::size_t size;

  constexpr std::size_t end() const { return offset + size; }
  // Whether the field lies inside `bytes` and holds `text` (as long as the
  // field).
  [[nodiscard]] bool Holds(std::span<const uint8_t> bytes, std::string_view text) const {
    assert(text.size() == size);
    return end() <= bytes.size() && std::memcmp(bytes.data() + offset, text.data(), size) == 0;
  }
  [[nodiscard]] bool IsZero(std::span<const uint8_t> bytes) const {
    const auto field = bytes.subspan(offset, size);
    return std::all_of(field.begin(), field.end(), [](uint8_t b) { return b == 0; });
  }
  void Store(std::span<uint8_t> bytes, std::string_view text) const {
    assert(text.size() == size);
    std::memcpy(bytes.data() + offset, text.data(), size);
  }
};

}  // namespace vexlo
