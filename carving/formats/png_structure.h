// The chunks of a PNG file, followed to the end of its IEND chunk.
//
// Each chunk is skipped by its length field; a length beyond the format's
// limit or a type that is not four letters breaks the structure. Each
// chunk's checksum is checked on the way: a file whose structure holds but
// whose bytes were changed (overwritten in the middle) is whole but damaged. State
// lives in the object, so it can be fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/crc32.h"
#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class PngStructure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);
  // Whether a chunk seen so far failed its checksum.
  bool damaged() const { return damaged_; }

 private:
  // Acts on the chunk header in head_.
  StructureVerdict OnChunkHeader();

  // The signature, then each chunk's length and type, gathered across pieces.
  std::array<uint8_t, 8> head_{};
  std::size_t head_bytes_ = 0;
  bool signature_seen_ = false;
  Crc32 crc_;
  std::array<uint8_t, 4> stored_crc_{};
  std::size_t stored_crc_bytes_ = 4;  // all gathered: none pending
  bool last_chunk_ = false;
  bool damaged_ = false;
};

}  // namespace vexlo::carving
