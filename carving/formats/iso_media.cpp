#include "carving/formats/iso_media.h"

#include <algorithm>
#include <cstring>
#include <span>

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

}  // namespace

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
