// Audio: MP3 with ID3v2, MIDI, Monkey's Audio, WAV, MPEG layer 2 and mobile
// synthetic music (mmf).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction Mp3Test, MidiTest, ApeTest, WavTest, Mp2Test, MmfTest;

// Follows the tag and frames (mp3_structure.h); failing that, ends with the
// 128-byte ID3v1 tag of the last chunk that holds a "TAG".
LengthFinderFunction Mp3Length;
// Sums the track chunks found after the header sector until every track of
// the header's count is seen.
LengthFinderFunction MidiLength;
// Ends 32 bytes after the second APE tag marker of a chunk.
LengthFinderFunction ApeLength;

}  // namespace vexlo::carving
