// Video containers: MPEG program streams, MP4/3GP/QuickTime, RealMedia, ASF,
// Flash, AVI, FLV, Matroska, AVCHD (mts) and MXF. Transport streams have
// their own module (transport_stream.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"

namespace vexlo::carving {

int32_t MpegTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t Mp4Test(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t RealMediaTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t AsfTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t SwfTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t AviTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t FlvTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t ThreeGpTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t MkvTest(CarvingState& state, const uint8_t* sector, std::size_t length);
// Depends on the MTS flag: inside an mts file only zero-led sectors match.
int32_t MtsTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t MxfTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t MovTest(CarvingState& state, const uint8_t* sector, std::size_t length);

// The first cleanly ending end code (sequence end after a sequence header,
// else program end); the stream's own pack headers do not end it.
uint64_t MpegLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// Ends after the "freeIsoMedia File Produced" text and its non-zero tail.
uint64_t Mp4Length(CarvingState& state, const uint8_t* sector, std::size_t length);
// Ends after the first empty INDX chunk header.
uint64_t RealMediaLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The file-properties object's size, from the header sector only.
uint64_t AsfLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The size field of an uncompressed file; one sector for a compressed one.
uint64_t SwfLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// The RIFF size field plus its 8-byte chunk header (AVI and WAV).
uint64_t RiffLength(CarvingState& state, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
