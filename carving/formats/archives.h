// Archives: gzip, 7-Zip, ZIP (and the Office archives' end rule), RAR and
// cabinet files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction GzipTest, SevenZipTest, ZipTest, RarTest, CabTest;

// 22 bytes after the last end-of-central-directory record of a chunk (an
// archive comment is not included). ZIP searches up to 4 GiB, Office
// archives up to one byte under 128 MiB.
LengthFinderFunction ZipLength;
LengthFinderFunction OfficeArchiveLength;
// After the last end-header pattern of a chunk.
LengthFinderFunction SevenZipLength;
// After the first cleanly ending end-of-archive block.
LengthFinderFunction RarLength;
// The cabinet's size field, at most 1 GiB.
LengthFinderFunction CabLength;

}  // namespace vexlo::carving
