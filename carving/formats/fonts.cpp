#include "carving/formats/fonts.h"

#include <algorithm>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

// The furthest table end over the directory entries that lie in the buffer.
uint64_t FurthestTableEnd(const uint8_t* data, std::size_t size, uint32_t table_count) {
  const std::size_t fitting = size < 12 ? 0 : (size - 12) / 16;
  const std::size_t count = std::min<std::size_t>(table_count, fitting);
  uint64_t furthest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + 12 + 16 * i;
    furthest = std::max(furthest, uint64_t{LoadU32Be(entry + 8)} + LoadU32Be(entry + 12));
  }
  return furthest;
}

}  // namespace

int32_t TrueTypeTest(CarvingState&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 0, "\x00\x01\x00\x00"sv)) return code::kNoMatch;
  const uint32_t tables = LoadU16Be(s + 4);
  if (tables == 0 || LoadU16(s + 6) == 0 || LoadU16(s + 8) == 0 || LoadU16(s + 10) == 0) {
    return code::kNoMatch;
  }
  if (length < uint64_t{tables} * 16 + 16) return code::kNoMatch;
  return HasAt(s, length, std::size_t{tables} * 16 + 12, "\x00\x01\x00\x00"sv) ? code::kTtf
                                                                               : code::kNoMatch;
}

uint64_t TrueTypeLength(CarvingState& state, const uint8_t* sector, std::size_t length) {
  if (length < 6) return state.sector_bytes;
  const uint32_t tables = LoadU16Be(sector + 4);
  if (length >= uint64_t{tables} * 16 + 12) return FurthestTableEnd(sector, length, tables);
  if (!state.ReadWhole(state.file_start, kWorkBufferBytes / state.sector_bytes,
                       state.work_buffer.data())) {
    return state.sector_bytes;
  }
  return FurthestTableEnd(state.work_buffer.data(), kWorkBufferBytes, tables);
}

}  // namespace vexlo::carving
