#include "carving/formats/ebml_structure.h"

#include <algorithm>
#include <bit>

namespace vexlo::carving {
namespace {

constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr uint32_t kSegmentId = 0x18538067;

bool IsSegmentChild(uint32_t id) {
  switch (id) {
    case 0x114D9B74:  // SeekHead
    case 0x1549A966:  // Info
    case 0x1654AE6B:  // Tracks
    case 0x1F43B675:  // Cluster
    case 0x1C53BB6B:  // Cues
    case 0x1941A469:  // Attachments
    case 0x1043A770:  // Chapters
    case 0x1254C367:  // Tags
    case 0xEC:        // Void
    case 0xBF:        // CRC-32
      return true;
    default:
      return false;
  }
}

// Bytes of the variable-length integer led by `first`; 0 when it is longer
// than `longest`.
std::size_t VintBytes(uint8_t first, std::size_t longest) {
  const auto bytes = static_cast<std::size_t>(std::countl_zero(first)) + 1;
  return first != 0 && bytes <= longest ? bytes : 0;
}

}  // namespace

StructureVerdict EbmlStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (skip_left_ > 0) {
      if (Skip(i, size) && offset_ == segment_end_) return EndHere();
      continue;
    }
    head_[head_bytes_++] = data[i++];
    ++offset_;
    const std::size_t id_bytes = VintBytes(head_[0], 4);
    if (id_bytes == 0) return StructureVerdict::kBroken;
    if (head_bytes_ <= id_bytes) continue;
    const std::size_t size_bytes = VintBytes(head_[id_bytes], 8);
    if (size_bytes == 0) return StructureVerdict::kBroken;
    if (head_bytes_ < id_bytes + size_bytes) continue;
    uint32_t id = 0;
    for (std::size_t k = 0; k < id_bytes; ++k) id = id << 8 | head_[k];
    // The size's length marker bit is no part of its value; all value bits
    // set means "unknown".
    const uint64_t marker = uint64_t{1} << (7 * size_bytes);
    uint64_t value = head_[id_bytes] & ((0x80u >> (size_bytes - 1)) - 1);
    for (std::size_t k = 1; k < size_bytes; ++k) value = value << 8 | head_[id_bytes + k];
    head_bytes_ = 0;
    const StructureVerdict verdict = OnElement(id, value, value == marker - 1);
    if (verdict != StructureVerdict::kMore) return verdict;
  }
  return StructureVerdict::kMore;
}

StructureVerdict EbmlStructure::OnElement(uint32_t id, uint64_t size, bool size_unknown) {
  if (size_unknown) return StructureVerdict::kBroken;
  if (!header_seen_) {
    if (id != kEbmlHeaderId) return StructureVerdict::kBroken;
    header_seen_ = true;
    skip_left_ = size;
    return StructureVerdict::kMore;
  }
  if (segment_end_ == 0) {
    if (id != kSegmentId) return StructureVerdict::kBroken;
    segment_end_ = offset_ + size;
    return size == 0 ? EndHere() : StructureVerdict::kMore;
  }
  if (!IsSegmentChild(id) || size > segment_end_ - offset_) return StructureVerdict::kBroken;
  skip_left_ = size;
  return size == 0 && offset_ == segment_end_ ? EndHere() : StructureVerdict::kMore;
}

}  // namespace vexlo::carving
