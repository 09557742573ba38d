// Audio: MP3 with ID3v2, MIDI, Monkey's Audio, WAV, MPEG layer 2 and mobile
// synthetic music (mmf).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t Mp3Test(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t MidiTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t ApeTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t WavTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t Mp2Test(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t MmfTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

// Ends with the 128-byte ID3v1 tag of the last chunk that holds a "TAG".
uint64_t Mp3Length(FileMeasure& file, const uint8_t* sector, std::size_t length);
// Sums the track chunks found after the header sector until every track of
// the header's count is seen.
uint64_t MidiLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// Ends 32 bytes after the second APE tag marker of a chunk.
uint64_t ApeLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
