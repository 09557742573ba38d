// Pictures: GIF, BMP, JPEG, PNG, PSD, TIFF and Windows icons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"

namespace vexlo::carving {

int32_t GifTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t BmpTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t JpegTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t PngTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t PsdTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t TiffTest(CarvingState& state, const uint8_t* sector, std::size_t length);
// Icon directory whose images follow it back to back.
int32_t IconTest(CarvingState& state, const uint8_t* sector, std::size_t length);

// The first trailer "00 3B" with a clean end, in the header sector or a chunk.
uint64_t GifLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The size field, at most 128 MiB; 0 when the buffer cannot hold it.
uint64_t BmpLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The last clean end-of-image marker seen, or where the search stopped.
uint64_t JpegLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The first IEND chunk (type and checksum) with a clean end.
uint64_t PngLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// End of the last image of the icon directory.
uint64_t IconLength(CarvingState& state, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
