#include "carving/formats/archives.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"
#include "carving/formats/zip_records.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kSevenZipEnd = "\x00\x07\x0B\x01\x00\x01\x23\x03\x01\x01\x05\x5D"sv;
constexpr std::string_view kRarEnd = "\xC4\x3D\x7B\x00\x40\x07\x00"sv;

constexpr std::size_t kDirectoryEndBytes = 22;

// The end of the archive from an end-of-central-directory record at
// `position` (from the file start) in data[at, size): the record's comment
// is part of the file. Only a record whose central directory ends right
// where the record starts belongs to this archive; one of an archive stored
// inside it counts from that archive's start. Nothing when the record does
// not fit the chunk or belongs elsewhere.
std::optional<uint64_t> DirectoryEnd(const uint8_t* data, std::size_t size, std::size_t at,
                                     uint64_t position) {
  if (size - at < kDirectoryEndBytes) return std::nullopt;
  const std::span<const uint8_t> record(data + at, kDirectoryEndBytes);
  const uint64_t directory_end = uint64_t{LoadLe32(record, 16)} + LoadLe32(record, 12);
  if (LoadLe16(record, 4) != 0 || LoadLe16(record, 6) != 0 || directory_end != position)
    return std::nullopt;
  return position + kDirectoryEndBytes + LoadLe16(record, 20);
}

// The record whose directory leads to it ends the file at once, comment
// included. The table's rule (the last record of the first chunk that has
// one, 22 bytes on) stays the answer when no such record is found before
// the search stops.
uint64_t ArchiveDirectoryLength(FileMeasure& file, uint64_t cap_bytes) {
  std::optional<uint64_t> table_end;
  const uint64_t reached =
      SearchForward(file, cap_bytes, [&](const Chunk& chunk) -> std::optional<uint64_t> {
        const uint8_t* const end = chunk.data + chunk.size;
        for (const uint8_t* p = FindMarker(chunk.data, end, zip::kEndOfCentralDirectory);
             p != nullptr; p = FindMarker(p + 1, end, zip::kEndOfCentralDirectory)) {
          const auto at = static_cast<std::size_t>(p - chunk.data);
          if (auto exact = DirectoryEnd(chunk.data, chunk.size, at, chunk.bytes_before + at))
            return exact;
        }
        if (!table_end) {
          if (const uint8_t* p = FindLastMarker(chunk.data, end, zip::kEndOfCentralDirectory)) {
            table_end = chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + 22;
          }
        }
        return std::nullopt;
      });
  return table_end.value_or(reached);
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
  return length >= 48 && HasAt(s, length, 0, zip::kLocalHeader) ? code::kZip : code::kNoMatch;
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
