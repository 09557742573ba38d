#include "carving/formats/iso_media.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "carving/formats/bytes.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

constexpr std::size_t kBoxHeaderBytes = 8;
constexpr std::size_t kLargeBoxHeaderBytes = 16;

// Box types that stand at the top level of the files this module measures.
constexpr const char kTopLevelTypes[][5] = {
    "ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "moof", "mfra",
    "pdin", "styp", "sidx", "ssix", "prft", "emsg", "udta", "pnot", "junk",
};

bool IsTopLevel(const uint8_t* type) {
  return std::any_of(std::begin(kTopLevelTypes), std::end(kTopLevelTypes),
                     [&](const char* known) { return std::memcmp(type, known, 4) == 0; });
}

// Boxes without which no player or viewer can use the file.
bool IsDescriptive(const uint8_t* type) {
  return std::memcmp(type, "moov", 4) == 0 || std::memcmp(type, "meta", 4) == 0 ||
         std::memcmp(type, "moof", 4) == 0;
}

struct Brand {
  char name[5];
  int32_t type_code;
};

constexpr Brand kBrands[] = {
    {"M4A ", code::kM4a},  {"M4B ", code::kM4a},  {"M4P ", code::kM4a},  {"M4V ", code::kM4v},
    {"M4VH", code::kM4v},  {"M4VP", code::kM4v},  {"3g2a", code::k3g2},  {"3g2b", code::k3g2},
    {"3g2c", code::k3g2},  {"heic", code::kHeic}, {"heix", code::kHeic}, {"hevc", code::kHeic},
    {"hevx", code::kHeic}, {"heim", code::kHeic}, {"heis", code::kHeic}, {"mif1", code::kHeic},
    {"msf1", code::kHeic}, {"avif", code::kAvif}, {"avis", code::kAvif}, {"crx ", code::kCr3},
};

}  // namespace

int32_t IsoBrandTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 16 || !HasAt(s, length, 4, "ftyp")) return code::kNoMatch;
  for (const Brand& brand : kBrands) {
    if (std::memcmp(s + 8, brand.name, 4) == 0) return brand.type_code;
  }
  return code::kNoMatch;
}

uint64_t IsoMediaLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (auto end = IsoMediaEnd(file, sector, length, k6GiB)) return *end;
  return SearchForwardPlain(file, k6GiB);
}

std::optional<uint64_t> IsoMediaEnd(FileMeasure& file, const uint8_t* sector, std::size_t length,
                                    uint64_t cap_bytes) {
  const uint64_t limit = std::min(cap_bytes, file.BytesToMediumEnd());
  const std::size_t header_bytes = std::min<std::size_t>(length, file.sector_bytes());
  // Bytes at `offset`, from the header sector when it holds them.
  auto bytes_at = [&](uint64_t offset, std::size_t size) -> const uint8_t* {
    if (offset + size <= header_bytes) return sector + offset;
    return file.PeekAt(offset, size);
  };
  uint64_t offset = 0;
  bool described = false;
  while (offset < limit) {
    const uint8_t* header =
        limit - offset >= kBoxHeaderBytes ? bytes_at(offset, kBoxHeaderBytes) : nullptr;
    if (header == nullptr) return std::nullopt;
    if (!IsTopLevel(header + 4)) break;
    described |= IsDescriptive(header + 4);
    uint64_t size = LoadBe32(std::span<const uint8_t>(header, kBoxHeaderBytes), 0);
    if (size == 1) {
      const uint8_t* large =
          limit - offset >= kLargeBoxHeaderBytes ? bytes_at(offset, kLargeBoxHeaderBytes) : nullptr;
      if (large == nullptr) return std::nullopt;
      const std::span<const uint8_t> wide(large, kLargeBoxHeaderBytes);
      size = uint64_t{LoadBe32(wide, 8)} << 32 | LoadBe32(wide, 12);
      if (size < kLargeBoxHeaderBytes) return std::nullopt;
    } else if (size < kBoxHeaderBytes) {
      return std::nullopt;
    }
    if (size > limit - offset) return std::nullopt;
    offset += size;
  }
  if (!described || offset == 0) return std::nullopt;
  return offset;
}

}  // namespace vexlo::carving
