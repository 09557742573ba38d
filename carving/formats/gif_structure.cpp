#include "carving/formats/gif_structure.h"

#include <algorithm>
#include <cstring>

namespace vexlo::carving {
namespace {

constexpr std::size_t kScreenBytes = 13;     // signature and screen descriptor
constexpr std::size_t kDescriptorBytes = 9;  // image descriptor after its separator
constexpr std::size_t kScreenFlags = 10;
constexpr std::size_t kDescriptorFlags = 8;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kLongestCodeSize = 11;

// Plain text, graphic control, comment and application extensions: the
// only ones the format defines.
bool IsExtensionLabel(uint8_t label) {
  return label == 0x01 || label == 0xF9 || label == 0xFE || label == 0xFF;
}

}  // namespace

void GifStructure::SkipColourTable(uint8_t flags, State next) {
  fixed_bytes_ = 0;
  skip_left_ = (flags & 0x80) != 0 ? 3u << ((flags & 0x07) + 1) : 0;
  after_skip_ = next;
  state_ = State::kSkip;
}

StructureVerdict GifStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (state_ == State::kSkip) {
      if (Skip(i, size)) state_ = after_skip_;
      continue;
    }
    if (state_ == State::kScreen || state_ == State::kDescriptor) {
      const std::size_t want = state_ == State::kScreen ? kScreenBytes : kDescriptorBytes;
      if (!Gather(fixed_.data(), fixed_bytes_, want, data, i, size)) break;
      if (state_ == State::kScreen) {
        if (std::memcmp(fixed_.data(), "GIF", 3) != 0) return StructureVerdict::kBroken;
        SkipColourTable(fixed_[kScreenFlags], State::kBlock);
      } else {
        SkipColourTable(fixed_[kDescriptorFlags], State::kCodeSize);
      }
      continue;
    }
    const uint8_t byte = data[i++];
    ++offset_;
    switch (state_) {
      case State::kBlock:
        if (byte == kTrailer) return EndHere();
        if (byte == kExtension) {
          state_ = State::kLabel;
        } else if (byte == kImage) {
          state_ = State::kDescriptor;
        } else {
          return StructureVerdict::kBroken;
        }
        break;
      case State::kLabel:
        if (!IsExtensionLabel(byte)) return StructureVerdict::kBroken;
        state_ = State::kSubBlock;
        break;
      case State::kCodeSize:
        if (byte > kLongestCodeSize) return StructureVerdict::kBroken;
        state_ = State::kSubBlock;
        break;
      case State::kSubBlock:
        if (byte == 0) {
          state_ = State::kBlock;
        } else {
          skip_left_ = byte;
          after_skip_ = State::kSubBlock;
          state_ = State::kSkip;
        }
        break;
      default:
        break;
    }
  }
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
