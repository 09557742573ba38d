#include "carving/formats/documents.h"

#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {

using namespace std::string_view_literals;

int32_t PdfTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 5 && HasAt(s, length, 0, "%PDF-") ? code::kPdf : code::kNoMatch;
}

int32_t FlaTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "\xD0\xCF\x11\xE0"sv) ? code::kFla : code::kNoMatch;
}

int32_t SqliteTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "SQLite format 3\x00"sv) ? code::kDb : code::kNoMatch;
}

int32_t DbxTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "\xCF\xAD\x12\xFE"sv) ? code::kDbx : code::kNoMatch;
}

int32_t PstTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "!BDN") && HasAt(s, length, 8, "SM") ? code::kPst
                                                                                  : code::kNoMatch;
}

uint64_t PdfLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return SearchForward(file, k1GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    if (const uint8_t* p = FindLastMarker(chunk.data, end, "%%EOF")) {
      // Writers put an end-of-line after the marker; it belongs to the file.
      const uint8_t* tail = p + 5;
      if (tail < end && *tail == '\r') ++tail;
      if (tail < end && *tail == '\n') ++tail;
      return chunk.bytes_before + static_cast<uint64_t>(tail - chunk.data);
    }
    if (const uint8_t* p = FindLastMarker(chunk.data, end, "trailer")) {
      return chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + 7;
    }
    return std::nullopt;
  });
}

}  // namespace vexlo::carving
