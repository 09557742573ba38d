// The blocks of a GIF file, followed to its trailer: the screen descriptor
// and its colour table, then extensions and images, each with its data
// sub-blocks, until the trailer byte.
//
// A block that starts with anything but an extension, image or trailer
// introducer, or an extension the format does not define, breaks the
// structure. State lives in the object, so it can be
// fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class GifStructure : public StructureWalk {
 public:
  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  enum class State {
    kScreen,      // signature and logical screen descriptor
    kBlock,       // a block introducer
    kLabel,       // an extension's label
    kDescriptor,  // an image descriptor after its separator
    kCodeSize,    // the LZW code size before an image's data
    kSubBlock,    // a sub-block's size byte
    kSkip,        // colour tables and sub-block data
  };

  // After the fixed bytes of the screen or an image descriptor: skips the
  // colour table that `flags` announces, then goes on in `next`.
  void SkipColourTable(uint8_t flags, State next);

  State state_ = State::kScreen;
  std::array<uint8_t, 13> fixed_{};
  std::size_t fixed_bytes_ = 0;
  State after_skip_ = State::kBlock;
};

}  // namespace vexlo::carving
