#include "carving/formats/audio.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/mp3_structure.h"
#include "carving/formats/structure_walk.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kApeTag = "APETAGEX\xD0\x07"sv;
// An ID3v1 tag is "TAG" and 125 more bytes.
constexpr uint64_t kId3v1Bytes = 128;

// The table's rule of MP3: the last chunk holding "TAG" ends the file 128
// bytes behind it.
struct Id3v1Rule {
  std::optional<uint64_t> candidate;

  static std::optional<uint64_t> Header(const uint8_t*, std::size_t) { return std::nullopt; }
  std::optional<uint64_t> OnChunk(const Chunk& chunk) {
    if (const uint8_t* p = FindMarker(chunk.data, chunk.data + chunk.size, "TAG")) {
      candidate = chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + kId3v1Bytes;
    }
    return std::nullopt;
  }
  uint64_t Finish(uint64_t reached) const {
    return candidate ? std::min(*candidate, reached) : reached;
  }
};

}  // namespace

int32_t Mp3Test(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 10 || !HasAt(s, length, 0, "ID3")) return code::kNoMatch;
  if (s[3] == 0xFF || s[4] == 0xFF || (s[5] & 0x1F) != 0) return code::kNoMatch;
  return s[6] < 0x80 && s[7] < 0x80 && s[8] < 0x80 && s[9] < 0x80 ? code::kMp3 : code::kNoMatch;
}

int32_t MidiTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 18 && HasAt(s, length, 0, "MThd") && HasAt(s, length, 4, "\x00\x00\x00\x06"sv) &&
                 HasAt(s, length, 14, "MTrk")
             ? code::kMid
             : code::kNoMatch;
}

int32_t ApeTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 4 && HasAt(s, length, 0, "MAC ") ? code::kApe : code::kNoMatch;
}

int32_t WavTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return IsRiffForm(s, length, "WAVE", "fmt ") ? code::kWav : code::kNoMatch;
}

int32_t Mp2Test(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 4 && HasAt(s, length, 0, "\xFF\xFD\xE4\x00"sv) ? code::kMp2 : code::kNoMatch;
}

int32_t MmfTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 4 && HasAt(s, length, 0, "MMMD") ? code::kMmf : code::kNoMatch;
}

uint64_t Mp3Length(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return StructureFirst<Mp3Structure>(file, sector, length, k2GiB, Id3v1Rule{});
}

uint64_t MidiLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (length < 12) return file.sector_bytes();
  int64_t tracks_left = LoadBe16({sector, length}, 10);
  uint64_t total = 14;
  return SearchForward(file, k8MiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    for (const uint8_t* p = FindMarker(chunk.data, end, "MTrk"); p != nullptr && end - p >= 8;
         p = FindMarker(p + 4, end, "MTrk")) {
      total += 8 + uint64_t{LoadBe32({p, 8}, 4)};
      // The track total is only trusted as far as the search got.
      if (--tracks_left == 0) return std::min(total, chunk.length_reached);
    }
    return std::nullopt;
  });
}

uint64_t ApeLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return SearchForward(file, k2GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    const uint8_t* first = FindMarker(chunk.data, end, kApeTag);
    if (first == nullptr) return std::nullopt;
    if (const uint8_t* second = FindMarker(first + 1, end, kApeTag)) {
      return chunk.bytes_before + static_cast<uint64_t>(second - chunk.data) + 32;
    }
    return chunk.bytes_before + chunk.size;
  });
}

}  // namespace vexlo::carving
