// Archives: gzip, 7-Zip, ZIP (and the Office archives' end rule), RAR and
// cabinet files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t GzipTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t SevenZipTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t ZipTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t RarTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t CabTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

// 22 bytes after the last end-of-central-directory record of a chunk (an
// archive comment is not included). ZIP searches up to 4 GiB, Office
// archives up to one byte under 128 MiB.
uint64_t ZipLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
uint64_t OfficeArchiveLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// After the last end-header pattern of a chunk.
uint64_t SevenZipLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// After the first cleanly ending end-of-archive block.
uint64_t RarLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The cabinet's size field, at most 1 GiB.
uint64_t CabLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
