// Archives: gzip, 7-Zip, ZIP (and the Office archives' end rule), RAR and
// cabinet files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"

namespace vexlo::carving {

int32_t GzipTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t SevenZipTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t ZipTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t RarTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t CabTest(CarvingState& state, const uint8_t* sector, std::size_t length);

// 22 bytes after the last end-of-central-directory record of a chunk (an
// archive comment is not included). ZIP searches up to 4 GiB, Office
// archives up to one byte under 128 MiB.
uint64_t ZipLength(CarvingState& state, const uint8_t* sector, std::size_t length);
uint64_t OfficeArchiveLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// After the last end-header pattern of a chunk.
uint64_t SevenZipLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// After the first cleanly ending end-of-archive block.
uint64_t RarLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The cabinet's size field, at most 1 GiB.
uint64_t CabLength(CarvingState& state, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
