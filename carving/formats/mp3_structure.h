// An MP3 file followed frame by frame: the ID3v2 tag by its size, then MPEG
// audio frames by the length their headers give, then an optional APEv2 tag
// by the size in its header, then an optional ID3v1 tag of 128 bytes. (An
// APE tag written without its header, only a footer, cannot be measured
// going forward: the file then ends behind the last frame.)
//
// The first frame fixes the stream's version, layer and sample rate; the
// file ends behind the last frame that agrees with them (or behind the
// ID3v1 tag that follows it). Bytes after the tag that are no frame mean a
// tag that lies about its size: the structure is broken. State lives in the
// object, so it can be fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class Mp3Structure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  // Acts on the head_wanted_ bytes gathered in head_.
  StructureVerdict OnHead();

  // The ID3v2 header, then each frame header.
  std::array<uint8_t, 12> head_{};
  std::size_t head_bytes_ = 0;
  std::size_t head_wanted_ = 10;
  bool in_id3v1_ = false;
  bool in_ape_tag_ = false;
  bool frame_seen_ = false;
  // Version, layer and sample rate bits of the first frame.
  uint8_t stream_byte1_ = 0;
  uint8_t stream_byte2_ = 0;
};

}  // namespace vexlo::carving
