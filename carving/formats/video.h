// Video containers: MPEG program streams, MP4/3GP/QuickTime, RealMedia, ASF,
// Flash, AVI, FLV, Matroska, AVCHD (mts) and MXF. Transport streams have
// their own module (transport_stream.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t MpegTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t Mp4Test(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t RealMediaTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t AsfTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t SwfTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t AviTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t FlvTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t ThreeGpTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t MkvTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
// Depends on the MTS flag: inside an mts file only zero-led sectors match.
int32_t MtsTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t MxfTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t MovTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

// The first cleanly ending end code (sequence end after a sequence header,
// else program end); the stream's own pack headers do not end it.
uint64_t MpegLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// Ends after the "freeIsoMedia File Produced" text and its non-zero tail.
uint64_t Mp4Length(FileMeasure& file, const uint8_t* sector, std::size_t length);
// Ends after the first empty INDX chunk header.
uint64_t RealMediaLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The file-properties object's size, from the header sector only.
uint64_t AsfLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The size field of an uncompressed file; one sector for a compressed one.
uint64_t SwfLength(FileMeasure& file, const uint8_t* sector, std::size_t length);
// The RIFF size field plus its 8-byte chunk header (AVI and WAV).
uint64_t RiffLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
