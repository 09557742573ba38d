// The chunks of a PNG file, followed to the end of its IEND chunk.
//
// Each chunk is skipped by its length field; a length beyond the format's
// limit or a type that is not four letters breaks the structure. State
// lives in the object, so it can be fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class PngStructure {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);
  uint64_t end() const { return offset_; }

 private:
  // Acts on the chunk header in head_.
  StructureVerdict OnChunkHeader();

  uint64_t offset_ = 0;
  // The signature, then each chunk's length and type, gathered across pieces.
  std::array<uint8_t, 8> head_{};
  std::size_t head_bytes_ = 0;
  bool signature_seen_ = false;
  uint64_t skip_left_ = 0;  // chunk data and checksum
  bool last_chunk_ = false;
};

}  // namespace vexlo::carving
