#include "carving/formats/video.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/ebml_structure.h"
#include "carving/formats/iso_media.h"
#include "carving/formats/length_search.h"
#include "carving/formats/program_stream_structure.h"
#include "carving/formats/structure_walk.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kAsfHeaderGuid =
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv;
constexpr std::string_view kAsfFilePropertiesGuid =
    "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65"sv;
constexpr std::string_view kRealMediaIndexEnd =
    "INDX\x00\x00\x00\x14\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00"sv;
constexpr std::string_view kMp4Trailer = "freeIsoMedia File Produced"sv;

bool HasWithin(const uint8_t* s, std::size_t length, std::size_t window, std::string_view marker) {
  return FindMarker(s, s + std::min(length, window), marker) != nullptr;
}

// The table's rule of MPEG: the first end code after which the rest of its
// sector is clear ends the file (one inside the data is no end).
struct EndCodeRule {
  std::string_view end_code;
  uint32_t sector_bytes;

  static std::optional<uint64_t> Header(const uint8_t*, std::size_t) { return std::nullopt; }
  std::optional<uint64_t> OnChunk(const Chunk& chunk) const {
    const uint8_t* const end = chunk.data + chunk.size;
    for (const uint8_t* p = FindMarker(chunk.data, end, end_code); p != nullptr;
         p = FindMarker(p + 1, end, end_code)) {
      const std::size_t marker_end = static_cast<std::size_t>(p - chunk.data) + 4;
      if (IsCleanEnd(chunk.data, chunk.size, marker_end, sector_bytes)) {
        return chunk.bytes_before + marker_end;
      }
    }
    return std::nullopt;
  }
  static uint64_t Finish(uint64_t reached) { return reached; }
};

}  // namespace

int32_t MpegTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16) return code::kNoMatch;
  if (HasAt(s, length, 0, "\x00\x00\x01\xBA"sv) && HasWithin(s, length, 32, "\x00\x00\x01\xBB"sv)) {
    return code::kMpeg;
  }
  if (HasAt(s, length, 0, "\x00\x00\x01\xB3"sv) && HasWithin(s, length, 32, "\x00\x00\x01\xB8"sv)) {
    return code::kMpeg;
  }
  return code::kNoMatch;
}

int32_t Mp4Test(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 32 || !HasAt(s, length, 4, "ftyp")) return code::kNoMatch;
  // isom and iso2 to iso6, the MP4 versions, H.264 and camera brands.
  constexpr std::string_view kBrands[] = {"iso", "mp41", "mp42", "avc1", "XAVC", "MSNV", "dash"};
  return std::any_of(std::begin(kBrands), std::end(kBrands),
                     [&](std::string_view brand) { return HasAt(s, length, 8, brand); })
             ? code::kMp4
             : code::kNoMatch;
}

int32_t RealMediaTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 4 && HasAt(s, length, 0, ".RMF") ? code::kRmvb : code::kNoMatch;
}

int32_t AsfTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 24 && HasAt(s, length, 0, kAsfHeaderGuid) ? code::kWmv : code::kNoMatch;
}

int32_t SwfTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 8) return code::kNoMatch;
  if (HasAt(s, length, 0, "CWS") && s[3] >= 6 && s[3] <= 15) return code::kSwf;
  if (HasAt(s, length, 0, "FWS") && s[3] < 6) return code::kSwf;
  return code::kNoMatch;
}

int32_t AviTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return IsRiffForm(s, length, "AVI ", "LIST") ? code::kAvi : code::kNoMatch;
}

int32_t FlvTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "FLV\x01"sv) &&
                 HasAt(s, length, 5, "\x00\x00\x00\x09"sv)
             ? code::kFlv
             : code::kNoMatch;
}

int32_t ThreeGpTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 32 && HasAt(s, length, 4, "ftyp") && HasAt(s, length, 8, "3gp") ? code::k3gp
                                                                                   : code::kNoMatch;
}

int32_t MkvTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0, "\x1A\x45\xDF\xA3"sv) ? code::kMkv : code::kNoMatch;
}

int32_t MtsTest(const HeaderProbe& probe, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 8, "\x00\x00\xB0\x11\x00\x00\xC1\x00"sv))
    return code::kNoMatch;
  if (probe.streams().after_mts() && !HasAt(s, length, 0, "\x00\x00\x00\x00"sv))
    return code::kNoMatch;
  return code::kMts;
}

int32_t MxfTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= 16 && HasAt(s, length, 0,
                               "\x06\x0E\x2B\x34\x02\x05\x01\x01\x0D\x01\x02\x01\x01\x02\x04\x00"sv)
             ? code::kMxf
             : code::kNoMatch;
}

int32_t MovTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16) return code::kNoMatch;
  if (HasAt(s, length, 0, "moov")) return code::kMov;
  return HasAt(s, length, 4, "ftyp") && HasAt(s, length, 8, "qt  ") ? code::kMov : code::kNoMatch;
}

uint64_t MpegLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  EndCodeRule rule{
      HasAt(sector, length, 0, "\x00\x00\x01\xB3"sv) ? "\x00\x00\x01\xB7"sv : "\x00\x00\x01\xB9"sv,
      file.sector_bytes()};
  ProgramStreamStructure structure(file.sector_bytes());
  // Every pack header looks like the start of another stream.
  return StructureFirst(file, sector, length, k6GiB, structure, rule, StartRule::kIgnoreMpeg);
}

uint64_t Mp4Length(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (auto end = IsoMediaEnd(file, sector, length, k6GiB)) return *end;
  return SearchForward(file, k6GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    const uint8_t* p = FindMarker(chunk.data, end, kMp4Trailer);
    if (p == nullptr) return std::nullopt;
    const uint8_t* tail = p + kMp4Trailer.size();
    while (tail < end && *tail != 0) ++tail;
    return chunk.bytes_before + static_cast<uint64_t>(tail - chunk.data);
  });
}

uint64_t RealMediaLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return SearchForward(file, k6GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* p = FindMarker(chunk.data, chunk.data + chunk.size, kRealMediaIndexEnd);
    if (p == nullptr) return std::nullopt;
    return chunk.bytes_before + static_cast<uint64_t>(p - chunk.data) + kRealMediaIndexEnd.size();
  });
}

uint64_t AsfLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  const std::size_t header = std::min<std::size_t>(length, file.sector_bytes());
  if (header <= 30) return file.sector_bytes();
  const uint8_t* p = FindMarker(sector + 30, sector + header, kAsfFilePropertiesGuid);
  // The object must hold the flags and the file size that are read from it.
  if (p == nullptr || static_cast<std::size_t>(p - sector) + 92 > header)
    return file.sector_bytes();
  const bool broadcast = (LoadLe32({p, 92}, 88) & 1) != 0;
  if (broadcast) return file.sector_bytes();
  return std::min<uint64_t>(LoadLe64({p, 92}, 40), k256MiB);
}

uint64_t SwfLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (length >= 8 && HasAt(sector, length, 0, "FWS"))
    return std::min<uint64_t>(LoadLe32({sector, length}, 4), k256MiB);
  return file.sector_bytes();
}

uint64_t MkvLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return StructureFirst<EbmlStructure>(file, sector, length, k64GiB, NoEndMarkerRule{});
}

uint64_t RiffLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (length < 16) return file.sector_bytes();
  return uint64_t{LoadLe32({sector, length}, 4)} + 8;
}

uint64_t AviLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  uint64_t end = RiffLength(file, sector, length);
  if (length < 16) return end;
  // Recordings past 1 GiB go on in further RIFF lists of form "AVIX", each
  // right behind the one before.
  constexpr std::size_t kRiffHeaderBytes = 12;
  while (end + kRiffHeaderBytes <= file.BytesToMediumEnd()) {
    const uint8_t* const next = file.PeekAt(end, kRiffHeaderBytes);
    if (next == nullptr || !HasAt(next, kRiffHeaderBytes, 0, "RIFF") ||
        !HasAt(next, kRiffHeaderBytes, 8, "AVIX")) {
      break;
    }
    end += uint64_t{LoadLe32({next, kRiffHeaderBytes}, 4)} + 8;
  }
  return end;
}

}  // namespace vexlo::carving
