#include "carving/formats/program_stream_structure.h"

#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

constexpr uint8_t kEndCode = 0xB9;
constexpr uint8_t kPackCode = 0xBA;
// The system header and every stream's packets: codes from here on carry
// a length.
constexpr uint8_t kFirstPacketCode = 0xBB;
constexpr std::size_t kStartCodeBytes = 4;
constexpr std::size_t kMpeg1PackBytes = 12;
constexpr std::size_t kMpeg2PackBytes = 14;
// Bytes that are no start code behind this many packs end the stream;
// behind fewer, they break it.
constexpr int kPacksBeforeOpenEnd = 2;

// The system clock reference of a pack header (from its start code): 33
// bits spread over the fields between marker bits.
uint64_t SystemClock(const uint8_t* h, bool mpeg2) {
  if (mpeg2) {
    return uint64_t{h[4] & 0x38u} << 27 | uint64_t{h[4] & 0x03u} << 28 | uint64_t{h[5]} << 20 |
           uint64_t{h[6] & 0xF8u} << 12 | uint64_t{h[6] & 0x03u} << 13 | uint64_t{h[7]} << 5 |
           uint64_t{h[8]} >> 3;
  }
  return uint64_t{h[4] & 0x0Eu} << 29 | uint64_t{h[5]} << 22 | uint64_t{h[6] & 0xFEu} << 14 |
         uint64_t{h[7]} << 7 | uint64_t{h[8]} >> 1;
}

}  // namespace

StructureVerdict ProgramStreamStructure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (skip_left_ > 0) {
      Skip(i, size);
      continue;
    }
    if (!Gather(head_.data(), head_bytes_, head_wanted_, data, i, size)) break;
    switch (state_) {
      case State::kStartCode:
        if (head_[0] != 0 || head_[1] != 0 || head_[2] != 1) {
          // Muxers often leave the end code out: the stream then ends
          // behind its last packet, once it showed packs in a row.
          if (packs_ < kPacksBeforeOpenEnd) return StructureVerdict::kBroken;
          end_ = offset_ - kStartCodeBytes;
          return StructureVerdict::kEnd;
        }
        if (head_[3] == kEndCode) return EndHere();
        if (head_[3] == kPackCode) {
          ++packs_;
          state_ = State::kPackKind;
          head_wanted_ = kStartCodeBytes + 1;
          continue;
        }
        if (head_[3] < kFirstPacketCode) return StructureVerdict::kBroken;
        state_ = State::kPacketLength;
        head_wanted_ = kStartCodeBytes + 2;
        continue;
      case State::kPackKind:
        if ((head_[4] & 0xC0) == 0x40) {
          head_wanted_ = kMpeg2PackBytes;
        } else if ((head_[4] & 0xF0) == 0x20) {
          head_wanted_ = kMpeg1PackBytes;
        } else {
          return StructureVerdict::kBroken;
        }
        state_ = State::kPack;
        continue;
      case State::kPack: {
        const bool mpeg2 = head_wanted_ == kMpeg2PackBytes;
        const uint64_t clock = SystemClock(head_.data(), mpeg2);
        const uint64_t pack_start = offset_ - head_wanted_;
        // A recording written right behind another on the card starts its
        // clock afresh, at a sector start; within one stream it only grows.
        if (packs_ > 1 && pack_start % sector_bytes_ == 0 &&
            (clock < last_clock_ || mpeg2 != mpeg2_)) {
          end_ = pack_start;
          return StructureVerdict::kEnd;
        }
        if (packs_ == 1) mpeg2_ = mpeg2;
        last_clock_ = clock;
        if (mpeg2) skip_left_ = head_[13] & 0x07;
        break;
      }
      case State::kPacketLength:
        skip_left_ = LoadBe16(head_, 4);
        break;
    }
    state_ = State::kStartCode;
    head_bytes_ = 0;
    head_wanted_ = kStartCodeBytes;
  }
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
