// A Matroska or WebM file followed by its EBML element sizes: the EBML
// header, then the Segment, whose top-level children are skipped one by
// one up to the Segment's declared end.
//
// A Segment or child of unknown size (live recordings), a child the format
// does not define at that level, or one that reaches past the Segment
// breaks the structure: the bytes are then no whole file, or not followed
// with confidence. State lives in the object, so it can be fed the file in
// pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class EbmlStructure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  // Acts on the element whose header is in head_.
  StructureVerdict OnElement(uint32_t id, uint64_t size, bool size_unknown);

  // An element header: an ID of up to 4 bytes and a size of up to 8.
  std::array<uint8_t, 12> head_{};
  std::size_t head_bytes_ = 0;
  bool header_seen_ = false;
  uint64_t segment_end_ = 0;  // 0 before the Segment
};

}  // namespace vexlo::carving
