#include "carving/formats/archives.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kEndOfCentralDirectory = "PK\x05\x06"sv;
constexpr std::string_view kSevenZipEnd = "\x00\x07\x0B\x01\x00\x01\x23\x03\x01\x01\x05\x5D"sv;
constexpr std::string_view kRarEnd = "\xC4\x3D\x7B\x00\x40\x07\x00"sv;

uint64_t ArchiveDirectoryLength(FileMeasure& file, uint64_t cap_bytes) {
  return SearchForward(file, cap_bytes, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* p = FindLastMarker(chunk.data, chunk.data + chunk.size, kEndOfCentralDirectory);
    if (p == nullptr) return std::nullopt;
    return chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + 22;
  });
}

}  // namespace

int32_t GzipTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 0, "\x1F\x8B\x08"sv)) return code::kNoMatch;
  const bool flags = s[3] == 0x00 || s[3] == 0x08;
  const bool extra_flags = s[8] == 0x02 || s[8] == 0x04;
  const bool os = s[9] < 14 || s[9] == 0xFF;
  return flags && extra_flags && os ? code::kGz : code::kNoMatch;
}

int32_t SevenZipTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return HasAt(s, length, 0, "\x37\x7A\xBC\xAF\x27"sv) ? code::k7z : code::kNoMatch;
}

int32_t ZipTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 48 && HasAt(s, length, 0, "PK\x03\x04"sv) ? code::kZip : code::kNoMatch;
}

int32_t RarTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return HasAt(s, length, 0, "Rar!\x1A\x07\x00"sv) ? code::kRar : code::kNoMatch;
}

int32_t CabTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 36 && HasAt(s, length, 0, "MSCF") ? code::kCab : code::kNoMatch;
}

uint64_t ZipLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return ArchiveDirectoryLength(file, k4GiB);
}

uint64_t OfficeArchiveLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return ArchiveDirectoryLength(file, kJustUnder128MiB);
}

uint64_t SevenZipLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return SearchForward(file, k4GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* p = FindLastMarker(chunk.data, chunk.data + chunk.size, kSevenZipEnd);
    if (p == nullptr) return std::nullopt;
    return chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + 27;
  });
}

uint64_t RarLength(FileMeasure& file, const uint8_t*, std::size_t) {
  const uint32_t sector_bytes = file.sector_bytes();
  return SearchForward(file, k4GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    for (const uint8_t* p = FindMarker(chunk.data, end, kRarEnd); p != nullptr;
         p = FindMarker(p + 1, end, kRarEnd)) {
      const std::size_t marker_end = static_cast<std::size_t>(p - chunk.data) + kRarEnd.size();
      if (IsCleanEnd(chunk.data, chunk.size, marker_end, sector_bytes))
        return chunk.bytes_before + marker_end;
    }
    return std::nullopt;
  });
}

uint64_t CabLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (length < 36) return file.sector_bytes();
  return std::min<uint64_t>(LoadLe32({sector, length}, 8), k1GiB);
}

}  // namespace vexlo::carving
