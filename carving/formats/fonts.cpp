#include "carving/formats/fonts.h"

#include <algorithm>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

// The furthest table end over the directory entries that lie in the buffer.
uint64_t FurthestTableEnd(const uint8_t* data, std::size_t size, uint32_t table_count) {
  const std::size_t fitting = size < 12 ? 0 : (size - 12) / 16;
  const std::size_t count = std::min<std::size_t>(table_count, fitting);
  uint64_t furthest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 12 + 16 * i;
    furthest = std::max(
        furthest, uint64_t{LoadBe32({data, size}, entry + 8)} + LoadBe32({data, size}, entry + 12));
  }
  return furthest;
}

}  // namespace

int32_t TrueTypeTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 0, "\x00\x01\x00\x00"sv)) return code::kNoMatch;
  const std::span<const uint8_t> header(s, length);
  const uint32_t tables = LoadBe16(header, 4);
  if (tables == 0 || LoadLe16(header, 6) == 0 || LoadLe16(header, 8) == 0 ||
      LoadLe16(header, 10) == 0) {
    return code::kNoMatch;
  }
  if (length < uint64_t{tables} * 16 + 16) return code::kNoMatch;
  return HasAt(s, length, std::size_t{tables} * 16 + 12, "\x00\x01\x00\x00"sv) ? code::kTtf
                                                                               : code::kNoMatch;
}

uint64_t TrueTypeLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (length < 6) return file.sector_bytes();
  const uint32_t tables = LoadBe16({sector, length}, 4);
  if (length >= uint64_t{tables} * 16 + 12) return FurthestTableEnd(sector, length, tables);
  const uint8_t* const head = file.ReadFromStart(0, kWorkBufferBytes / file.sector_bytes());
  if (head == nullptr) return file.sector_bytes();
  return FurthestTableEnd(head, kWorkBufferBytes, tables);
}

}  // namespace vexlo::carving
