// The extent of a TIFF file and the camera RAW files built on it: every
// directory is walked (the chain from the header, SubIFDs, Exif, GPS and
// interoperability directories), and the file ends at the furthest byte
// that any of them references: strips, tiles, JPEG previews, maker notes
// and every other value stored outside its entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "carving/formats/length_search.h"
#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

// The end of the furthest referenced byte, when every directory could be
// read and image data was found, within `cap_bytes` and the medium; nothing
// otherwise.
std::optional<uint64_t> TiffEnd(FileMeasure& file, const uint8_t* sector, std::size_t length,
                                uint64_t cap_bytes);

// TiffEnd, else forward to 128 MiB (every TIFF and TIFF-based RAW row).
LengthFinderFunction TiffLength;

}  // namespace vexlo::carving
