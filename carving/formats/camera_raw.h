// Camera RAW formats. Most are TIFF files told apart by their magic (Canon
// CR2's "CR" at 8, Olympus ORF's "IIRO"/"IIRS"/"MMOR", Panasonic RW2's
// "IIU") or by the first directory's DNGVersion or Make tag (Nikon, Sony,
// Pentax, Canon); Fujifilm RAF has a header of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {

// The code of the RAW format that a TIFF-like header sector starts, kTif for
// any other TIFF, kNoMatch when it is no TIFF.
int32_t TiffKind(const uint8_t* sector, std::size_t length);

// Each RAW row answers only its own code, so that the plain TIFF row after
// them still takes every TIFF file named .tif.
template <int32_t kCode>
int32_t TiffRawTest(const HeaderProbe&, const uint8_t* sector, std::size_t length) {
  return TiffKind(sector, length) == kCode ? kCode : code::kNoMatch;
}

HeaderTestFunction RafTest;
// The furthest end of the preview, sensor header and sensor data that the
// header lists, when the medium holds it; forward to 128 MiB otherwise.
LengthFinderFunction RafLength;

}  // namespace vexlo::carving
