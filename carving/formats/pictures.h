// Pictures: GIF, BMP, JPEG, PNG, PSD, TIFF and Windows icons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t GifTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t BmpTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t JpegTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t PngTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t PsdTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t TiffTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
// Icon directory whose images follow it back to back.
int32_t IconTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

// The first trailer "00 3B" with a clean end, in the header sector or a chunk.
uint64_t GifLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The size field, at most 128 MiB; 0 when the buffer cannot hold it.
uint64_t BmpLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The last clean end-of-image marker seen, or where the search stopped.
uint64_t JpegLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The first IEND chunk (type and checksum) with a clean end.
uint64_t PngLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// End of the last image of the icon directory.
uint64_t IconLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
