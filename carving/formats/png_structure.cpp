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
    if (data_left_ > 0) {
      const std::size_t from = i;
      StepOver(data_left_, i, size, offset_);
      crc_.Update(data + from, i - from);
      continue;
    }
    if (stored_crc_bytes_ < stored_crc_.size()) {
      const std::size_t take = std::min(stored_crc_.size() - stored_crc_bytes_, size - i);
      std::memcpy(stored_crc_.data() + stored_crc_bytes_, data + i, take);
      stored_crc_bytes_ += take;
      i += take;
      offset_ += take;
      if (stored_crc_bytes_ < stored_crc_.size()) break;
      if (LoadBe32(stored_crc_, 0) != crc_.value()) damaged_ = true;
      if (last_chunk_) return StructureVerdict::kEnd;
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
  // The checksum covers the type and the data.
  crc_ = Crc32{};
  crc_.Update(head_.data() + 4, 4);
  data_left_ = length;
  stored_crc_bytes_ = 0;
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
