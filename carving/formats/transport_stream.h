// MPEG transport streams.
//
// A transport stream has no header of its own: it is a run of 188-byte
// packets that each begin with 0x47. A candidate sector must show that grid
// in itself and over the next 4 KiB, and, while the previous identification
// found nothing or a stream, must not continue a stream that began earlier:
// neither through packets that run on from the previous sector nor by lying
// inside a stream already carved (stream_history.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

inline constexpr std::size_t kTransportPacketBytes = 188;

HeaderTestFunction TransportStreamTest;

// Follows the packet grid from the file start and ends at the first packet
// that does not begin with 0x47 (or where the search stopped); records the
// stream's sectors in the stream history.
LengthFinderFunction TransportStreamLength;

}  // namespace vexlo::carving
