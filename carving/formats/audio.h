// Audio: MP3 with ID3v2, MIDI, Monkey's Audio, WAV, MPEG layer 2 and mobile
// synthetic music (mmf).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"

namespace vexlo::carving {

int32_t Mp3Test(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t MidiTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t ApeTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t WavTest(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t Mp2Test(CarvingState& state, const uint8_t* sector, std::size_t length);
int32_t MmfTest(CarvingState& state, const uint8_t* sector, std::size_t length);

// Ends with the 128-byte ID3v1 tag of the last chunk that holds a "TAG".
uint64_t Mp3Length(CarvingState& state, const uint8_t* sector, std::size_t length);
// Sums the track chunks found after the header sector until every track of
// the header's count is seen.
uint64_t MidiLength(CarvingState& state, const uint8_t* sector, std::size_t length);
// Ends 32 bytes after the second APE tag marker of a chunk.
uint64_t ApeLength(CarvingState& state, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
