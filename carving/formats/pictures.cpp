#include "carving/formats/pictures.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/gif_structure.h"
#include "carving/formats/jpeg_structure.h"
#include "carving/formats/length_search.h"
#include "carving/formats/png_structure.h"
#include "carving/formats/structure_walk.h"
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

// The table's rule of GIF and PNG: the header sector first, then each
// chunk; the first clean trailer ends the file.
struct TrailerRule {
  std::string_view trailer;
  uint32_t sector_bytes;

  std::optional<uint64_t> Header(const uint8_t* sector, std::size_t size) const {
    return FirstCleanEnd(sector, size, trailer, sector_bytes);
  }
  std::optional<uint64_t> OnChunk(const Chunk& chunk) const {
    if (auto end = FirstCleanEnd(chunk.data, chunk.size, trailer, sector_bytes)) {
      return chunk.bytes_before + *end;
    }
    return std::nullopt;
  }
  static uint64_t Finish(uint64_t reached) { return reached; }
};

// The table's rule of JPEG: only the first end-of-image marker of a region
// counts, and only when it ends cleanly (an earlier one may close an
// embedded thumbnail). In the header sector it ends the file; in the chunks
// the first such marker is the candidate. A later one belongs to a file
// further on: on a mostly empty card the search runs through zeros to the
// next photo, and taking that photo's end made files megabytes long.
struct JpegEndRule {
  uint32_t sector_bytes;
  std::optional<uint64_t> candidate;

  std::optional<uint64_t> Header(const uint8_t* sector, std::size_t size) const {
    if (const uint8_t* p = FindMarker(sector, sector + size, kJpegEnd)) {
      const std::size_t end = static_cast<std::size_t>(p - sector) + 2;
      if (IsCleanEnd(sector, size, end, sector_bytes)) return end;
    }
    return std::nullopt;
  }
  std::optional<uint64_t> OnChunk(const Chunk& chunk) {
    if (candidate) return std::nullopt;
    if (const uint8_t* p = FindMarker(chunk.data, chunk.data + chunk.size, kJpegEnd)) {
      const std::size_t end = static_cast<std::size_t>(p - chunk.data) + 2;
      if (IsCleanEnd(chunk.data, chunk.size, end, sector_bytes))
        candidate = chunk.bytes_before + end;
    }
    return std::nullopt;
  }
  uint64_t Finish(uint64_t reached) const {
    return candidate ? std::min(*candidate, reached) : reached;
  }
};

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

// Every DIB header size that writers use: OS/2 core (12) and version 2
// (64), Windows version 3 (40) with its bit-field extensions (52, 56), and
// versions 4 (108) and 5 (124), which most editors write today.
bool IsDibHeaderSize(uint32_t size) {
  switch (size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      return true;
    default:
      return false;
  }
}

struct BmpLayout {
  uint64_t pixels_offset;
  // Rows times their 4-byte aligned width; nothing for compressed pixels,
  // whose size only the size fields tell.
  std::optional<uint64_t> pixel_bytes;
};

// The pixel array's place and size from the file and DIB headers.
std::optional<BmpLayout> ReadBmpLayout(const uint8_t* s, std::size_t length) {
  const std::span<const uint8_t> bytes(s, length);
  if (length < 30) return std::nullopt;
  const uint32_t dib_bytes = LoadLe32(bytes, 14);
  BmpLayout layout{LoadLe32(bytes, 10), std::nullopt};
  if (!IsDibHeaderSize(dib_bytes) || layout.pixels_offset < 14 + dib_bytes) return std::nullopt;
  uint64_t width = 0;
  uint64_t height = 0;
  uint32_t bits = 0;
  if (dib_bytes == 12) {
    width = LoadLe16(bytes, 18);
    height = LoadLe16(bytes, 20);
    bits = LoadLe16(bytes, 24);
  } else {
    if (length < 34) return std::nullopt;
    // Top-down pictures give a negative height.
    const int64_t signed_height = static_cast<int32_t>(LoadLe32(bytes, 22));
    width = LoadLe32(bytes, 18);
    height = static_cast<uint64_t>(signed_height < 0 ? -signed_height : signed_height);
    bits = LoadLe16(bytes, 28);
    constexpr uint32_t kUncompressed = 0;
    constexpr uint32_t kBitFields = 3;
    const uint32_t compression = LoadLe32(bytes, 30);
    if (compression != kUncompressed && compression != kBitFields) return layout;
  }
  if (bits == 0 || bits > 32 || width > 0x10000 || height > 0x10000) return std::nullopt;
  layout.pixel_bytes = (width * bits + 31) / 32 * 4 * height;
  return layout;
}

// The segment behind the start-of-image marker (at offset 2) names what
// wrote the file: JFIF or Exif, XMP from editors, ICC profiles and the
// multi-picture index of cameras, Photoshop and Adobe colour segments, or
// a quantisation table straight away from encoders that write no
// application segment at all.
bool IsJpegFirstSegment(const uint8_t* s, std::size_t length) {
  switch (s[3]) {
    case 0xE0:
      return HasAt(s, length, 6, "JFIF");
    case 0xE1:
      return HasAt(s, length, 6, "Exif") || HasAt(s, length, 6, "http://ns.adobe.com/");
    case 0xE2:
      return HasAt(s, length, 6, "ICC_PROFILE") || HasAt(s, length, 6, "MPF\0"sv);
    case 0xED:
      return HasAt(s, length, 6, "Photoshop 3.0");
    case 0xEE:
      return HasAt(s, length, 6, "Adobe");
    case 0xDB: {
      // One to four tables of 65 bytes (8-bit) or 129 bytes (16-bit), each
      // led by its precision and table number.
      const uint32_t segment = LoadBe16({s, length}, 4);
      const uint8_t table = s[6];
      return segment >= 2 + 65 && segment <= 2 + 4 * 129 && (table >> 4) <= 1 &&
             (table & 0x0F) <= 3;
    }
    default:
      return false;
  }
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
  const std::span<const uint8_t> bytes(s, length);
  return LoadLe16(bytes, 6) == 0 && LoadLe16(bytes, 8) == 0 && IsDibHeaderSize(LoadLe32(bytes, 14))
             ? code::kBmp
             : code::kNoMatch;
}

int32_t JpegTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 0, "\xFF\xD8\xFF"sv)) return code::kNoMatch;
  return IsJpegFirstSegment(s, length) ? code::kJpg : code::kNoMatch;
}

int32_t PngTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 8 && HasAt(s, length, 0, "\x89PNG\r\n\x1A\n"sv) ? code::kPng : code::kNoMatch;
}

int32_t WebpTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return IsRiffForm(s, length, "WEBP", "VP8") ? code::kWebp : code::kNoMatch;
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
  return StructureFirst<GifStructure>(file, sector, length, k128MiB,
                                      TrailerRule{kGifTrailer, file.sector_bytes()});
}

uint64_t PngLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  TrailerRule rule{kPngEnd, file.sector_bytes()};
  PngStructure structure;
  const uint64_t end = StructureFirst(file, sector, length, k128MiB, structure, rule);
  if (structure.damaged()) file.MarkDamaged();
  return end;
}

uint64_t BmpLength(FileMeasure&, const uint8_t* sector, std::size_t length) {
  if (length < 6) return 0;
  const uint64_t declared = LoadLe32({sector, length}, 2);
  const std::optional<BmpLayout> layout = ReadBmpLayout(sector, length);
  if (layout && layout->pixel_bytes) {
    const uint64_t pixels_end = layout->pixels_offset + *layout->pixel_bytes;
    // A size field short of the pixels it must hold was not written by the
    // encoder: the pixels tell the length instead.
    if (declared < pixels_end) return std::min(pixels_end, k128MiB);
  }
  return std::min(declared, k128MiB);
}

uint64_t JpegLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return StructureFirst<JpegStructure>(file, sector, length, k128MiB,
                                       JpegEndRule{file.sector_bytes(), std::nullopt});
}

uint64_t IconLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (auto end = IconDirectoryEnd(sector, length)) return *end;
  const uint8_t* const head = file.ReadFromStart(0, kWorkBufferBytes / file.sector_bytes());
  if (head == nullptr) return file.sector_bytes();
  return IconDirectoryEnd(head, kWorkBufferBytes).value_or(file.sector_bytes());
}

}  // namespace vexlo::carving
