// The top-level boxes of ISO base media files: MP4, MOV, 3GP, M4A,
// HEIF/HEIC, AVIF and Canon CR3 all chain 32- or 64-bit sized boxes from
// their first byte to their last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "carving/formats/length_search.h"
#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

// ISO media told apart by the major brand of their file-type box: M4A, M4V,
// 3G2, HEIF/HEIC, AVIF and Canon CR3. MP4, 3GP and QuickTime have tests of
// their own (video.h).
HeaderTestFunction IsoBrandTest;

// The end of the top-level boxes; failing that, forward to 6 GiB.
LengthFinderFunction IsoMediaLength;

// The end of the last top-level box: the boxes are followed from the file
// start, jumping from one header to the next, until a header that names no
// top-level box (the bytes behind the file) or the end of the medium. Only
// a chain that holds the movie, metadata or fragment box that players need
// counts. Nothing when the chain breaks first: a box that claims the rest of
// the file (size 0), a size too small for its header, a box past
// `cap_bytes` or the medium's end, or a read failure.
std::optional<uint64_t> IsoMediaEnd(FileMeasure& file, const uint8_t* sector, std::size_t length,
                                    uint64_t cap_bytes);

}  // namespace vexlo::carving
