#include "carving/formats/camera_raw.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr uint16_t kMakeTag = 0x010F;
constexpr uint16_t kDngVersionTag = 0xC612;
constexpr uint16_t kAsciiType = 2;
constexpr std::size_t kRafHeaderBytes = 108;

struct Maker {
  std::string_view prefix;
  int32_t type_code;
};

constexpr Maker kMakers[] = {
    {"NIKON", code::kNef}, {"SONY", code::kArw},  {"PENTAX", code::kPef},
    {"RICOH", code::kPef}, {"Canon", code::kCr2},
};

// The first directory's entries inside the sector decide: DNGVersion makes
// a DNG whatever the camera; otherwise the Make string names the maker.
int32_t KindByTags(std::span<const uint8_t> s, bool big) {
  const FieldOrder order{big};
  auto u16 = [&](std::size_t at) { return order.U16(s, at); };
  auto u32 = [&](std::size_t at) { return order.U32(s, at); };
  const uint64_t directory = u32(4);
  if (directory + 2 > s.size()) return code::kTif;
  const uint32_t count = u16(directory);
  int32_t maker = code::kTif;
  for (uint32_t e = 0; e < count; ++e) {
    const uint64_t entry = directory + 2 + uint64_t{e} * 12;
    if (entry + 12 > s.size()) break;
    const uint16_t tag = u16(entry);
    if (tag == kDngVersionTag) return code::kDng;
    if (tag != kMakeTag || u16(entry + 2) != kAsciiType) continue;
    const uint64_t length = u32(entry + 4);
    const uint64_t text = length <= 4 ? entry + 8 : u32(entry + 8);
    if (text > s.size() || length > s.size() - text) continue;
    const std::string_view make(reinterpret_cast<const char*>(s.data() + text), length);
    for (const Maker& m : kMakers) {
      if (make.starts_with(m.prefix)) maker = m.type_code;
    }
  }
  return maker;
}

}  // namespace

int32_t TiffKind(const uint8_t* sector, std::size_t length) {
  if (length < 16) return code::kNoMatch;
  if (HasAt(sector, length, 0, "IIRO") || HasAt(sector, length, 0, "IIRS") ||
      HasAt(sector, length, 0, "MMOR")) {
    return code::kOrf;
  }
  if (HasAt(sector, length, 0, "IIU\0"sv)) return code::kRw2;
  const bool little = HasAt(sector, length, 0, "II\x2A\x00"sv);
  const bool big = HasAt(sector, length, 0, "MM\x00\x2A"sv);
  if (!little && !big) return code::kNoMatch;
  if (HasAt(sector, length, 8, "CR\x02"sv)) return code::kCr2;
  return KindByTags({sector, length}, big);
}

int32_t RafTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return length >= kRafHeaderBytes && HasAt(s, length, 0, "FUJIFILMCCD-RAW ") ? code::kRaf
                                                                              : code::kNoMatch;
}

uint64_t RafLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  uint64_t end = 0;
  if (length >= kRafHeaderBytes) {
    const std::span<const uint8_t> header(sector, kRafHeaderBytes);
    // Offset and length of the preview JPEG, the sensor header and the
    // sensor data.
    for (const std::size_t at : {84u, 92u, 100u}) {
      end = std::max(end, uint64_t{LoadBe32(header, at)} + LoadBe32(header, at + 4));
    }
  }
  if (end > kRafHeaderBytes && end <= std::min(k128MiB, file.BytesToMediumEnd())) return end;
  return SearchForwardPlain(file, k128MiB);
}

}  // namespace vexlo::carving
