#include "carving/formats/documents.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <span>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/pdf_structure.h"
#include "carving/formats/structure_walk.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kSqliteHeaderBytes = 100;

// Page size times page count from the database header. The count is only
// kept up to date by writers that also stamp the change counter into the
// version-valid-for field; an older writer's count is stale and ignored.
std::optional<uint64_t> SqliteDeclaredSize(const uint8_t* s, std::size_t length) {
  if (length < kSqliteHeaderBytes) return std::nullopt;
  const std::span<const uint8_t> header(s, kSqliteHeaderBytes);
  uint32_t page_bytes = LoadBe16(header, 16);
  if (page_bytes == 1) page_bytes = 65536;
  const uint32_t pages = LoadBe32(header, 28);
  if (page_bytes < 512 || page_bytes > 65536 || !std::has_single_bit(page_bytes) || pages == 0 ||
      LoadBe32(header, 92) != LoadBe32(header, 24)) {
    return std::nullopt;
  }
  return uint64_t{page_bytes} * pages;
}

// The table's rule of PDF: the first chunk that holds a %%EOF (or failing
// that a "trailer") ends the file at its last one.
struct PdfEndRule {
  static std::optional<uint64_t> Header(const uint8_t*, std::size_t) { return std::nullopt; }
  static std::optional<uint64_t> OnChunk(const Chunk& chunk) {
    const uint8_t* const end = chunk.data + chunk.size;
    if (const uint8_t* p = FindLastMarker(chunk.data, end, "%%EOF")) {
      const uint8_t* tail = p + 5;
      if (tail < end && *tail == '\r') ++tail;
      if (tail < end && *tail == '\n') ++tail;
      return chunk.bytes_before + static_cast<uint64_t>(tail - chunk.data);
    }
    if (const uint8_t* p = FindLastMarker(chunk.data, end, "trailer")) {
      return chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + 7;
    }
    return std::nullopt;
  }
  static uint64_t Finish(uint64_t reached) { return reached; }
};

}  // namespace

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

uint64_t SqliteLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  const std::optional<uint64_t> size = SqliteDeclaredSize(sector, length);
  if (size && *size <= std::min(k4GiB, file.BytesToMediumEnd())) return *size;
  return SearchForwardPlain(file, k4GiB);
}

uint64_t PdfLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return StructureFirst<PdfStructure>(file, sector, length, k1GiB, PdfEndRule{});
}

}  // namespace vexlo::carving
