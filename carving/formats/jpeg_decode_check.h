// Whether a JPEG's picture decodes to its full height: the damaged mark of
// photos whose entropy-coded data was cut or overwritten.
//
// The marker structure of such a file often still holds (zeros and another
// file's bytes are fine to a marker walk), so only decoding tells. The file is
// fed in pieces of any size as a length search reads them, so the check costs
// no read of its own; libjpeg-turbo decodes at 1/8 scale (the DC terms only,
// which still needs every Huffman code of every MCU row) and waits for more
// input instead of failing when a piece ends. Memory is bounded: the bytes
// libjpeg has not consumed yet (at most a segment or an MCU) and a progressive
// file's coefficients up to kMemoryLimit; a picture needing more is not
// judged. Errors of the library never leave this object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/non_copyable.h"

namespace vexlo::carving {

class JpegDecodeCheck : NonCopyable {
 public:
  // A progressive picture larger than this (about 24 megapixels at 4:2:0)
  // is left unjudged rather than decoded with more memory.
  static constexpr long kMemoryLimit = 80L << 20;

  JpegDecodeCheck();
  ~JpegDecodeCheck();

  // The next bytes of the file; ignored once the first image was judged.
  void Feed(const uint8_t* data, std::size_t size);
  // Whether more bytes could change the verdict.
  bool wants_more() const;
  // Whether the file, cut at `length` bytes, is damaged: its first image
  // failed to decode, reported corrupt data, or needs bytes beyond `length`.
  // A picture that could not be judged (too large, not a kind the library
  // decodes) is not called damaged.
  bool Damaged(uint64_t length) const;

 private:
  struct Decoder;
  std::unique_ptr<Decoder> decoder_;
};

}  // namespace vexlo::carving
