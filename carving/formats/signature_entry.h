// One row of the signature table: an extension, a type code, the header test
// that recognises a file start in one sector and the rule that measures the
// file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/header_probe.h"

namespace vexlo::carving {

class FileMeasure;  // length_search.h

// Answers a type code, or code::kNoMatch when the sector starts no file of
// this kind. May answer another row's code (classifying tests) and may read
// further sectors through the probe. The format modules declare their tests
// with this type.
using HeaderTestFunction = int32_t(const HeaderProbe& probe, const uint8_t* sector,
                                   std::size_t length);
using HeaderTest = HeaderTestFunction*;

// The file's length in bytes, measured from the start of `sector`.
using LengthFinderFunction = uint64_t(FileMeasure& file, const uint8_t* sector, std::size_t length);
using LengthFinder = LengthFinderFunction*;

// Bytes that a row's header test requires, so that identification only
// calls the tests that could answer for a given sector: the test accepts a
// sector only when it holds the `size` bytes `bytes` at `offset` (wholly
// inside the buffer). A row lists up to two alternatives; a key of size 0 is
// unused, and a row with no keys is tried on every sector.
struct DispatchKey {
  uint8_t offset = 0;
  uint8_t size = 0;  // at most 4
  uint8_t bytes[4] = {0, 0, 0, 0};
};

struct SignatureEntry {
  const char* extension;  // without the dot
  int32_t type_code;
  HeaderTest test;      // none only in the end row
  LengthFinder finder;  // none: recognised but never carved
  DispatchKey keys[2];
};

}  // namespace vexlo::carving
