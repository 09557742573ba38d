// The CRC-32 of PNG chunks (and of zip, gzip and Ethernet): polynomial
// 0xEDB88320, reflected, started and finished with all bits set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vexlo::carving {

class Crc32 {
 public:
  void Update(const uint8_t* data, std::size_t size) {
    uint32_t crc = crc_;
    for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    crc_ = crc;
  }
  uint32_t value() const { return crc_ ^ 0xFFFFFFFFu; }

 private:
  static constexpr std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return table;
  }();

  uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace vexlo::carving
