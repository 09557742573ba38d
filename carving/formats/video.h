// Video containers: MPEG program streams, MP4/3GP/QuickTime, RealMedia, ASF,
// Flash, AVI, FLV, Matroska, AVCHD (mts) and MXF. Transport streams have
// their own module (transport_stream.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction MpegTest, Mp4Test, RealMediaTest, AsfTest, SwfTest, AviTest, FlvTest,
    ThreeGpTest, MkvTest;
// Depends on the MTS flag: inside an mts file only zero-led sectors match.
HeaderTestFunction MtsTest, MxfTest, MovTest;

// The first cleanly ending end code (sequence end after a sequence header,
// else program end); the stream's own pack headers do not end it.
LengthFinderFunction MpegLength;
// The end of the top-level boxes; failing that, the end of the
// "freeIsoMedia File Produced" text and its non-zero tail.
LengthFinderFunction Mp4Length;

// Ends after the first empty INDX chunk header.
LengthFinderFunction RealMediaLength;
// The file-properties object's size, from the header sector only.
LengthFinderFunction AsfLength;
// The size field of an uncompressed file; one sector for a compressed one.
LengthFinderFunction SwfLength;
// The EBML header and Segment by their sizes (ebml_structure.h); failing
// that, forward to 64 GiB.
LengthFinderFunction MkvLength;
// The RIFF size field plus its 8-byte chunk header (AVI and WAV).
LengthFinderFunction RiffLength;
// The RIFF length, and that of each "AVIX" extension right behind it.
LengthFinderFunction AviLength;

}  // namespace vexlo::carving
