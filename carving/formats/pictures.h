// Pictures: GIF, BMP, JPEG, PNG, WebP, PSD, TIFF and Windows icons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction GifTest, PngTest, PsdTest, TiffTest;
// Every DIB header version (core, 3, 4, 5 and the OS/2 ones).
HeaderTestFunction BmpTest;
// A start-of-image marker followed by the first segment that a known writer
// puts there.
HeaderTestFunction JpegTest;
// A RIFF "WEBP" form with a lossy, lossless or extended first chunk; its
// length is the RIFF rule's.
HeaderTestFunction WebpTest;
// Icon directory whose images follow it back to back.
HeaderTestFunction IconTest;

// The first trailer "00 3B" with a clean end, in the header sector or a chunk.
LengthFinderFunction GifLength;
// The size field, at most 128 MiB, unless it is too short for the
// uncompressed pixels behind the headers: then their end. 0 when the buffer
// cannot hold it.
LengthFinderFunction BmpLength;
// The last clean end-of-image marker seen, or where the search stopped.
LengthFinderFunction JpegLength;
// The chunks to IEND (png_structure.h), a failed chunk checksum marking the
// file damaged; failing that, the first IEND chunk (type and checksum) with
// a clean end.
LengthFinderFunction PngLength;
// End of the last image of the icon directory.
LengthFinderFunction IconLength;

}  // namespace vexlo::carving
