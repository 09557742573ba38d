// MPEG transport streams.
//
// A transport stream has no header of its own: it is a run of 188-byte
// packets that each begin with 0x47 (192-byte packets, the sync byte behind
// a time stamp, in camera streams). A candidate sector must show that grid
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
// Camera streams (AVCHD .mts/.m2ts): a 4-byte time stamp, then the packet.
inline constexpr std::size_t kTimestampedPacketBytes = 192;

// Camera streams are found by their leading program table (MtsTest in
// video.h): a key at the packet's offset 4 would cost every sector a look.
HeaderTestFunction TransportStreamTest;

// The same 192-byte packets are one format whether named .mts or .m2ts; only
// how the stream starts tells the writers apart. AVCHD cameras, which name
// their files .MTS, lead with the program table; muxers writing .m2ts (ffmpeg,
// Blu-ray authoring) lead with the service description table (PID 0x11, table
// 0x42), and such streams are carved as .m2ts. A stream cut out of the middle
// of either, starting with neither table, is not found by its start.
HeaderTestFunction M2tsTest;

// Follow the packet grid from the file start and end at the first packet
// whose sync byte is not 0x47 (or where the search stopped); record the
// stream's sectors in the stream history.
LengthFinderFunction TransportStreamLength, TimestampedStreamLength;

}  // namespace vexlo::carving
