#include "carving/formats/x3f_structure.h"

#include <cstring>
#include <span>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {
namespace {

constexpr char kDirectoryMark[] = "SECd";
constexpr std::size_t kDirectoryHead = 12;
constexpr std::size_t kEntryBytes = 12;

}  // namespace

StructureVerdict X3fStructure::Feed(const uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size;) {
    if (wanted_ == 0) {
      const uint8_t byte = data[i];
      ++i;
      ++offset_;
      if (byte == static_cast<uint8_t>(kDirectoryMark[matched_])) {
        if (++matched_ < 4) continue;
        matched_ = 0;
        directory_at_ = offset_ - 4;
        std::memcpy(directory_.data(), kDirectoryMark, 4);
        gathered_ = 4;
        wanted_ = kDirectoryHead;
      } else {
        matched_ = byte == static_cast<uint8_t>(kDirectoryMark[0]) ? 1 : 0;
      }
      continue;
    }
    if (!Gather(directory_.data(), gathered_, wanted_, data, i, size)) break;
    if (wanted_ == kDirectoryHead) {
      const uint32_t entries = LoadLe32(std::span<const uint8_t>(directory_), 8);
      if (entries == 0 || entries > kMaxEntries) {
        wanted_ = 0;  // a chance "SECd" in the image data: search on
        continue;
      }
      wanted_ = kDirectoryHead + kEntryBytes * entries + 4;
      continue;
    }
    if (DirectoryHolds()) {
      end_ = directory_at_ + wanted_;
      return StructureVerdict::kEnd;
    }
    wanted_ = 0;
  }
  return StructureVerdict::kMore;
}

bool X3fStructure::DirectoryHolds() {
  const std::span<const uint8_t> directory(directory_.data(), wanted_);
  if (LoadLe32(directory, wanted_ - 4) != directory_at_) return false;
  const std::size_t entries = (wanted_ - kDirectoryHead - 4) / kEntryBytes;
  for (std::size_t e = 0; e < entries; ++e) {
    const std::size_t at = kDirectoryHead + e * kEntryBytes;
    const uint64_t section_end = uint64_t{LoadLe32(directory, at)} + LoadLe32(directory, at + 4);
    if (section_end > directory_at_) return false;
  }
  return true;
}

int32_t X3fTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  // "FOVb", then the format version: 2.x or 3.x (major in the high half).
  if (length < 8 || !HasAt(s, length, 0, "FOVb")) return code::kNoMatch;
  const uint32_t major = LoadLe32(std::span<const uint8_t>(s, length), 4) >> 16;
  return major == 2 || major == 3 ? code::kX3f : code::kNoMatch;
}

uint64_t X3fLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  return StructureFirst<X3fStructure>(file, sector, length, k256MiB, NoEndMarkerRule{});
}

}  // namespace vexlo::carving
