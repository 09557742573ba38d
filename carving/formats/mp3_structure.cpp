#include "carving/formats/mp3_structure.h"

#include <algorithm>
#include <cstring>

#include "ondisk/endian.h"

namespace vexlo::carving {
namespace {

constexpr uint32_t kId3v2HeaderBytes = 10;
constexpr uint32_t kId3v1Bytes = 128;
// An APEv2 tag that taggers put between the last frame and an ID3v1 tag:
// a 32-byte header ("APETAGEX"), its items, a 32-byte footer.
constexpr uint32_t kApeHeaderBytes = 32;
constexpr std::size_t kApeHeaderRestBytes = 12;

// Kilobits per second by [version is MPEG-1][layer index 1..3][bitrate index].
constexpr uint16_t kBitrates[2][4][16] = {
    {{},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    {{},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}};
// Hertz by [version index][sample rate index]; version index 1 is reserved.
constexpr uint32_t kSampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

// The frame's length from its header, or 0 when the header is no valid
// frame (free-format frames have no length to follow).
uint32_t FrameBytes(const std::array<uint8_t, 4>& h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const unsigned version = (h[1] >> 3) & 3;
  const unsigned layer = (h[1] >> 1) & 3;  // 3 is layer I, 1 layer III
  const unsigned bitrate_index = h[2] >> 4;
  const unsigned rate_index = (h[2] >> 2) & 3;
  if (version == 1 || layer == 0 || rate_index == 3) return 0;
  const bool mpeg1 = version == 3;
  const uint32_t bitrate = kBitrates[mpeg1][layer][bitrate_index] * 1000u;
  const uint32_t rate = kSampleRates[version][rate_index];
  if (bitrate == 0) return 0;
  const uint32_t padding = (h[2] >> 1) & 1;
  if (layer == 3) return (12 * bitrate / rate + padding) * 4;
  // Layer III of MPEG-2 and 2.5 carries half the samples per frame.
  const uint32_t factor = layer == 1 && !mpeg1 ? 72 : 144;
  return factor * bitrate / rate + padding;
}

}  // namespace

StructureVerdict Mp3Structure::Feed(const uint8_t* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (skip_left_ > 0) {
      if (Skip(i, size) && in_id3v1_) return EndHere();
      continue;
    }
    if (!Gather(head_.data(), head_bytes_, head_wanted_, data, i, size)) break;
    head_bytes_ = 0;
    if (const StructureVerdict verdict = OnHead(); verdict != StructureVerdict::kMore)
      return verdict;
  }
  return StructureVerdict::kMore;
}

StructureVerdict Mp3Structure::OnHead() {
  if (head_wanted_ == kId3v2HeaderBytes) {
    const auto& h = head_;
    if (std::memcmp(h.data(), "ID3", 3) != 0 || ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
      return StructureVerdict::kBroken;
    const uint32_t size =
        (uint32_t{h[6]} << 21) | (uint32_t{h[7]} << 14) | (uint32_t{h[8]} << 7) | h[9];
    // A footer repeats the header behind the tag.
    skip_left_ = size + ((h[5] & 0x10) != 0 ? kId3v2HeaderBytes : 0);
    head_wanted_ = 4;
    return StructureVerdict::kMore;
  }
  if (head_wanted_ == kApeHeaderRestBytes) {
    if (std::memcmp(head_.data(), "AGEX", 4) != 0) return StructureVerdict::kBroken;
    // The size counts the items and the footer, not the header.
    const uint32_t tag_bytes = LoadLe32(head_, 8);
    skip_left_ = uint64_t{tag_bytes} + kApeHeaderBytes - 4 - kApeHeaderRestBytes;
    head_wanted_ = 4;
    return StructureVerdict::kMore;
  }
  const std::array<uint8_t, 4> frame = {head_[0], head_[1], head_[2], head_[3]};
  const uint32_t frame_bytes = FrameBytes(frame);
  // The protection, padding, channel and emphasis bits may change from
  // frame to frame; the rest may not.
  const bool same_stream =
      !frame_seen_ || ((frame[1] & 0xFE) == stream_byte1_ && (frame[2] & 0x0C) == stream_byte2_);
  if (frame_bytes >= 4 && same_stream) {
    if (!frame_seen_) {
      frame_seen_ = true;
      stream_byte1_ = frame[1] & 0xFE;
      stream_byte2_ = frame[2] & 0x0C;
    }
    skip_left_ = frame_bytes - 4;
    return StructureVerdict::kMore;
  }
  if (!frame_seen_) return StructureVerdict::kBroken;
  if (!in_ape_tag_ && std::memcmp(frame.data(), "APET", 4) == 0) {
    // The rest of an APEv2 header: "AGEX", version, size, item count.
    in_ape_tag_ = true;
    head_wanted_ = 12;
    return StructureVerdict::kMore;
  }
  if (std::memcmp(frame.data(), "TAG", 3) == 0) {
    in_id3v1_ = true;
    skip_left_ = kId3v1Bytes - 4;
    return StructureVerdict::kMore;
  }
  end_ = offset_ - 4;
  return StructureVerdict::kEnd;
}

}  // namespace vexlo::carving
