// A PDF file followed through its incremental updates to the last %%EOF.
//
// Editors append each update behind the previous %%EOF: new objects
// ("12 0 obj") or a cross-reference section ("xref"). So a %%EOF (and the
// end of line behind it) ends the file unless such a continuation follows
// it; blank space between the two is allowed, anything else (zeros, debris,
// the next file) ends the file. State lives in the object, so it can be fed
// the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class PdfStructure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  enum class State {
    kScan,         // looking for %%EOF
    kLineEnd,      // the end of line that belongs to the marker
    kBlank,        // blank space before what follows
    kContinuation  // the first bytes of what follows, in look_
  };

  State state_ = State::kScan;
  std::size_t matched_ = 0;  // bytes of "%%EOF" matched so far
  std::array<uint8_t, 24> look_{};
  std::size_t look_bytes_ = 0;
};

}  // namespace vexlo::carving
