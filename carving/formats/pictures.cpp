#include "carving/formats/pictures.h"

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

constexpr std::string_view kGifTrailer = "\x00\x3B"sv;
constexpr std::string_view kPngEnd = "IEND\xAE\x42\x60\x82"sv;
constexpr std::string_view kJpegEnd = "\xFF\xD9"sv;

// End offset of the first occurrence of `marker` in data[0, size) that ends
// cleanly. `data` starts on a sector boundary.
std::optional<std::size_t> FirstCleanEnd(const uint8_t* data, std::size_t size,
                                         std::string_view marker, uint32_t sector_bytes) {
  const uint8_t* const end = data + size;
  for (const uint8_t* p = FindMarker(data, end, marker); p != nullptr;
       p = FindMarker(p + 1, end, marker)) {
    const std::size_t marker_end = static_cast<std::size_t>(p - data) + marker.size();
    if (IsCleanEnd(data, size, marker_end, sector_bytes)) return marker_end;
  }
  return std::nullopt;
}

// GIF and PNG: the header sector first, then each chunk; the first clean
// trailer ends the file.
uint64_t TrailerLength(FileMeasure& file, const uint8_t* sector, std::size_t length,
                       std::string_view trailer) {
  const uint32_t sector_bytes = file.sector_bytes();
  if (auto end = FirstCleanEnd(sector, std::min<std::size_t>(length, sector_bytes), trailer,
                               sector_bytes)) {
    return *end;
  }
  return SearchForward(file, k128MiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    if (auto end = FirstCleanEnd(chunk.data, chunk.size, trailer, sector_bytes)) {
      return chunk.bytes_before + *end;
    }
    return std::nullopt;
  });
}

// Validates the icon directory in data[0, size) and returns the end of its
// last image, or nothing when the directory does not fit.
std::optional<uint64_t> IconDirectoryEnd(const uint8_t* data, std::size_t size) {
  if (size < 6) return std::nullopt;
  const std::span<const uint8_t> bytes(data, size);
  const uint32_t count = LoadLe16(bytes, 4);
  const uint64_t directory_end = uint64_t{count} * 16 + 6;
  if (count == 0 || size < directory_end) return std::nullopt;
  const std::size_t last = 6 + 16 * (count - 1);
  return uint64_t{LoadLe32(bytes, last + 12)} + LoadLe32(bytes, last + 8);
}

}  // namespace

int32_t GifTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 8 || !HasAt(s, length, 0, "GIF")) return code::kNoMatch;
  const bool digits = s[3] >= '0' && s[3] <= '9' && s[4] >= '0' && s[4] <= '9';
  return digits && s[5] >= 'a' && s[5] <= 'z' ? code::kGif : code::kNoMatch;
}

int32_t BmpTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 40 || !(HasAt(s, length, 0, "BM") || HasAt(s, length, 0, "BA")))
    return code::kNoMatch;
  return LoadLe16({s, length}, 6) == 0 && LoadLe16({s, length}, 8) == 0 &&
                 LoadLe32({s, length}, 14) == 40
             ? code::kBmp
             : code::kNoMatch;
}

int32_t JpegTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16) return code::kNoMatch;
  if (HasAt(s, length, 0, "\xFF\xD8\xFF\xE0"sv) && HasAt(s, length, 6, "JFIF")) return code::kJpg;
  if (HasAt(s, length, 0, "\xFF\xD8\xFF\xE1"sv) && HasAt(s, length, 6, "Exif")) return code::kJpg;
  return code::kNoMatch;
}

int32_t PngTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 8 && HasAt(s, length, 0, "\x89PNG\r\n\x1A\n"sv) ? code::kPng : code::kNoMatch;
}

int32_t PsdTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 40 && HasAt(s, length, 0, "8BPS") ? code::kPsd : code::kNoMatch;
}

int32_t TiffTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 4) return code::kNoMatch;
  return HasAt(s, length, 0, "MM\x00\x2A"sv) || HasAt(s, length, 0, "II\x2A\x00"sv)
             ? code::kTif
             : code::kNoMatch;
}

int32_t IconTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 0, "\x00\x00\x01\x00"sv)) return code::kNoMatch;
  const std::span<const uint8_t> bytes(s, length);
  const uint32_t count = LoadLe16(bytes, 4);
  if (count == 0 || length < uint64_t{count} * 16 + 6) return code::kNoMatch;
  uint64_t running_end = uint64_t{count} * 16 + 6;
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    if (s[entry + 3] != 0 || LoadLe32(bytes, entry + 12) != running_end) return code::kNoMatch;
    running_end = uint64_t{LoadLe32(bytes, entry + 12)} + LoadLe32(bytes, entry + 8);
  }
  return code::kIco;
}

uint64_t GifLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return TrailerLength(file, sector, length, kGifTrailer);
}

uint64_t PngLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return TrailerLength(file, sector, length, kPngEnd);
}

uint64_t BmpLength(FileMeasure&, const uint8_t* sector, std::size_t length) {
  if (length < 6) return 0;
  return std::min<uint64_t>(LoadLe32({sector, length}, 2), k128MiB);
}

uint64_t JpegLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  const uint32_t sector_bytes = file.sector_bytes();
  const std::size_t header = std::min<std::size_t>(length, sector_bytes);
  // Only the first end marker of a region counts: an earlier one may close an
  // embedded thumbnail, which is why it must also end cleanly.
  if (const uint8_t* p = FindMarker(sector, sector + header, kJpegEnd)) {
    const std::size_t end = static_cast<std::size_t>(p - sector) + 2;
    if (IsCleanEnd(sector, header, end, sector_bytes)) return end;
  }
  std::optional<uint64_t> candidate;
  const uint64_t reached =
      SearchForward(file, k128MiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
        if (const uint8_t* p = FindMarker(chunk.data, chunk.data + chunk.size, kJpegEnd)) {
          const std::size_t end = static_cast<std::size_t>(p - chunk.data) + 2;
          if (IsCleanEnd(chunk.data, chunk.size, end, sector_bytes))
            candidate = chunk.bytes_before + end;
        }
        return std::nullopt;
      });
  return candidate ? std::min(*candidate, reached) : reached;
}

uint64_t IconLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (auto end = IconDirectoryEnd(sector, length)) return *end;
  const uint8_t* const head = file.ReadFromStart(0, kWorkBufferBytes / file.sector_bytes());
  if (head == nullptr) return file.sector_bytes();
  return IconDirectoryEnd(head, kWorkBufferBytes).value_or(file.sector_bytes());
}

}  // namespace vexlo::carving
