#include "carving/formats/png_structure.h"

#include <algorithm>
#include <cstring>

#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The format allows 2^31 - 1, but a chunk longer than the carving cap
// could never be followed to its end: such a length is debris.
constexpr uint32_t kLongestChunk = 0x8000000;

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

StructureVerdict PngStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (skip_left_ > 0) {
      // The chunk's data is stepped over, but its checksum needs every byte.
      const std::size_t from = i;
      Skip(i, size);
      crc_.Update(data + from, i - from);
      continue;
    }
    if (stored_crc_bytes_ < stored_crc_.size()) {
      if (!Gather(stored_crc_.data(), stored_crc_bytes_, stored_crc_.size(), data, i, size)) break;
      if (LoadBe32(stored_crc_, 0) != crc_.value()) damaged_ = true;
      if (last_chunk_) return EndHere();
      continue;
    }
    if (!Gather(head_.data(), head_bytes_, head_.size(), data, i, size)) break;
    head_bytes_ = 0;
    if (const StructureVerdict verdict = OnChunkHeader(); verdict != StructureVerdict::kMore)
      return verdict;
  }
  return StructureVerdict::kMore;
}

StructureVerdict PngStructure::OnChunkHeader() {
  if (!signature_seen_) {
    signature_seen_ = true;
    return std::memcmp(head_.data(), kSignature, sizeof(kSignature)) == 0
               ? StructureVerdict::kMore
               : StructureVerdict::kBroken;
  }
  const uint32_t length = LoadBe32(head_, 0);
  if (length > kLongestChunk || !std::all_of(head_.begin() + 4, head_.end(), IsLetter))
    return StructureVerdict::kBroken;
  last_chunk_ = std::memcmp(head_.data() + 4, "IEND", 4) == 0;
  // The checksum covers the type and the data.
  crc_ = Crc32{};
  crc_.Update(head_.data() + 4, 4);
  skip_left_ = length;
  stored_crc_bytes_ = 0;
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
