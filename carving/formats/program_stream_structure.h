// An MPEG program stream followed pack by pack to its end code: each pack
// header (MPEG-1's 12 bytes, or MPEG-2's 14 and the stuffing they count),
// then the system header and the packets behind it by their 16-bit lengths,
// up to the program end code. Muxers often leave that code out: bytes that
// are no start code where the next one should begin then end the stream,
// once it showed two packs; before, they break it (the stream overwritten),
// as does a start code that has no place in a program stream (an
// elementary video stream's, say). A pack at a sector start whose clock
// went back, or of the other MPEG version, begins the next recording on the
// card and ends this one. State lives in the object, so it can be
// fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class ProgramStreamStructure : public StructureWalk {
 public:
  explicit ProgramStreamStructure(uint32_t sector_bytes) : sector_bytes_(sector_bytes) {}
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  enum class State {
    kStartCode,     // the next start code
    kPackKind,      // a pack header's first byte, which tells MPEG-1 from MPEG-2
    kPack,          // the rest of a pack header
    kPacketLength,  // a packet's length
  };

  uint32_t sector_bytes_;
  State state_ = State::kStartCode;
  int packs_ = 0;
  // The first pack's MPEG version and the last pack's clock.
  bool mpeg2_ = false;
  uint64_t last_clock_ = 0;
  std::array<uint8_t, 14> head_{};
  std::size_t head_bytes_ = 0;
  std::size_t head_wanted_ = 4;
};

}  // namespace vexlo::carving
