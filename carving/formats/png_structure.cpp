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
constexpr uint32_t kChecksumBytes = 4;

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

StructureVerdict PngStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (skip_left_ > 0) {
      const auto take = static_cast<std::size_t>(std::min<uint64_t>(skip_left_, size - i));
      i += take;
      offset_ += take;
      skip_left_ -= take;
      if (skip_left_ == 0 && last_chunk_) return StructureVerdict::kEnd;
      continue;
    }
    const std::size_t take = std::min(head_.size() - head_bytes_, size - i);
    std::memcpy(head_.data() + head_bytes_, data + i, take);
    head_bytes_ += take;
    i += take;
    offset_ += take;
    if (head_bytes_ < head_.size()) break;
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
  skip_left_ = uint64_t{length} + kChecksumBytes;
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
