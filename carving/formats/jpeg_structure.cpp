#include "carving/formats/jpeg_structure.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "carving/formats/bytes.h"

namespace vexlo::carving {
namespace {

constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp2 = 0xE2;
constexpr uint16_t kPictureEntriesTag = 0xB002;
constexpr std::size_t kPictureEntryBytes = 16;

bool IsRestart(uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

}  // namespace

StructureVerdict JpegStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    switch (state_) {
      case State::kPayload: {
        const std::size_t from = i;
        const bool skipped = Skip(i, size);
        if (capturing_index_) {
          const std::size_t copied = std::min(i - from, index_.size() - index_bytes_);
          std::memcpy(index_.data() + index_bytes_, data + from, copied);
          index_bytes_ += copied;
        }
        if (skipped) {
          if (capturing_index_) ReadPictureIndex();
          capturing_index_ = false;
          state_ = scan_follows_ ? State::kEntropy : State::kMarkerStart;
        }
        continue;
      }
      case State::kEntropy: {
        const auto* ff = static_cast<const uint8_t*>(std::memchr(data + i, 0xFF, size - i));
        const std::size_t next = ff == nullptr ? size : static_cast<std::size_t>(ff - data) + 1;
        offset_ += next - i;
        i = next;
        if (ff != nullptr) state_ = State::kEntropyMarker;
        continue;
      }
      case State::kFurtherImages: {
        const auto take =
            static_cast<std::size_t>(std::min<uint64_t>(further_end_ - offset_, size - i));
        for (std::size_t k = take > 2 ? take - 2 : 0; k < take; ++k) {
          last_two_[0] = last_two_[1];
          last_two_[1] = data[i + k];
        }
        i += take;
        offset_ += take;
        if (offset_ == further_end_) {
          // The last further image must close where the index says it does;
          // otherwise only the first image is trusted.
          if (last_two_[0] == 0xFF && last_two_[1] == kEndOfImage) end_ = further_end_;
          return StructureVerdict::kEnd;
        }
        continue;
      }
      default:
        break;
    }
    const uint8_t byte = data[i++];
    ++offset_;
    switch (state_) {
      case State::kMarkerStart:
        if (byte != 0xFF) return StructureVerdict::kBroken;
        state_ = State::kMarkerCode;
        break;
      case State::kMarkerCode:
        if (byte == 0xFF) break;  // fill byte
        if (const StructureVerdict verdict = OnMarker(byte); verdict != StructureVerdict::kMore)
          return verdict;
        break;
      case State::kLengthHigh:
        segment_length_ = uint32_t{byte} << 8;
        state_ = State::kLengthLow;
        break;
      case State::kLengthLow:
        segment_length_ |= byte;
        if (segment_length_ < 2) return StructureVerdict::kBroken;
        skip_left_ = segment_length_ - 2;
        scan_follows_ = marker_ == kStartOfScan;
        capturing_index_ = marker_ == kApp2 && further_end_ == 0;
        index_bytes_ = 0;
        index_base_ = offset_ + 4;
        state_ = State::kPayload;
        break;
      case State::kEntropyMarker:
        if (byte == 0x00 || IsRestart(byte)) {
          state_ = State::kEntropy;
        } else if (byte != 0xFF) {
          if (const StructureVerdict verdict = OnMarker(byte); verdict != StructureVerdict::kMore)
            return verdict;
        }
        break;
      default:
        break;
    }
  }
  return StructureVerdict::kMore;
}

StructureVerdict JpegStructure::OnMarker(uint8_t code) {
  // The file starts with the start-of-image marker and has it only there.
  if ((offset_ == 2) != (code == kStartOfImage)) return StructureVerdict::kBroken;
  if (code == kStartOfImage || IsRestart(code) || code == 0x01) {
    state_ = State::kMarkerStart;
    return StructureVerdict::kMore;
  }
  if (code == 0x00) return StructureVerdict::kBroken;
  if (code == kEndOfImage) {
    end_ = offset_;
    if (further_end_ <= offset_) return StructureVerdict::kEnd;
    state_ = State::kFurtherImages;
    return StructureVerdict::kMore;
  }
  marker_ = code;
  state_ = State::kLengthHigh;
  return StructureVerdict::kMore;
}

void JpegStructure::ReadPictureIndex() {
  const std::span<const uint8_t> index(index_.data(), index_bytes_);
  if (index.size() < 16 || std::memcmp(index.data(), "MPF\0", 4) != 0) return;
  const FieldOrder order{index[4] == 'M' && index[5] == 'M'};
  if (!order.big && !(index[4] == 'I' && index[5] == 'I')) return;
  // Offsets below count from the byte-order mark.
  const std::span<const uint8_t> header = index.subspan(4);
  const uint64_t directory = order.U32(header, 4);
  if (directory + 2 > header.size()) return;
  const uint32_t count = order.U16(header, directory);
  for (uint32_t e = 0; e < count; ++e) {
    const uint64_t entry = directory + 2 + uint64_t{e} * 12;
    if (entry + 12 > header.size()) return;
    if (order.U16(header, entry) != kPictureEntriesTag) continue;
    const uint64_t bytes = order.U32(header, entry + 4);
    const uint64_t first = order.U32(header, entry + 8);
    for (uint64_t at = first; at + kPictureEntryBytes <= first + bytes; at += kPictureEntryBytes) {
      if (at + kPictureEntryBytes > header.size()) return;
      const uint64_t image_bytes = order.U32(header, at + 4);
      const uint64_t image_offset = order.U32(header, at + 8);
      // The first image has offset 0: it is the one being followed.
      if (image_offset != 0) {
        further_end_ = std::max(further_end_, index_base_ + image_offset + image_bytes);
      }
    }
  }
}

}  // namespace vexlo::carving
