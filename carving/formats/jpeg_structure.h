// The structure of a JPEG file, followed byte by byte to its end: marker
// segments, the entropy-coded data of each scan (progressive files have
// several) up to the end-of-image marker, and the further images that a
// multi-picture index (APP2 "MPF") places behind the first.
//
// Segments are skipped by their lengths, so the end-of-image markers of
// thumbnails inside Exif or other application segments never end the file.
// Restart markers and stuffed zero bytes inside the entropy-coded data are
// part of it. State lives in the object (no allocation), so it can be fed
// the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class JpegStructure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  enum class State {
    kMarkerStart,    // FF expected
    kMarkerCode,     // after FF
    kLengthHigh,     // segment length, first byte
    kLengthLow,      // segment length, second byte
    kPayload,        // skipping a segment's payload
    kEntropy,        // scan data
    kEntropyMarker,  // after FF in scan data
    kFurtherImages,  // after the first image, up to the multi-picture extent
  };

  // Acts on marker `code` at offset_ (its second byte).
  StructureVerdict OnMarker(uint8_t code);
  // The first image ended at offset_ + 1.
  StructureVerdict OnFirstImageEnd();
  // Reads the multi-picture index caught from the APP2 segment.
  void ReadPictureIndex();

  State state_ = State::kMarkerStart;
  uint8_t marker_ = 0;
  uint32_t segment_length_ = 0;
  bool scan_follows_ = false;  // the payload being skipped is a scan header's

  // The start of an APP2 payload, where a multi-picture index sits; the
  // offsets in it count from its byte-order mark, 4 bytes into the payload.
  std::array<uint8_t, 512> index_{};
  std::size_t index_bytes_ = 0;
  bool capturing_index_ = false;
  uint64_t index_base_ = 0;
  uint64_t further_end_ = 0;  // end of the last further image, 0: none
  uint8_t last_two_[2] = {0, 0};
};

}  // namespace vexlo::carving
