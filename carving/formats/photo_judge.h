// Whether a listed photo is whole beyond its first sector: the damaged mark
// of JPEGs whose entropy-coded data no longer decodes to the full height
// (JpegDecodeCheck) and of PNGs whose chunks fail their checksums or stop
// before IEND. Every engine that lists files judges them with this, once per
// file and session, so that a photo is marked alike whichever scan found it.
#pragma once

#include "engine/found_file_record.h"
#include "engine/record_output.h"

namespace vexlo::carving {

// False for a JPEG or PNG file (by its name's extension) whose data, as
// `read` delivers it, is damaged; true for every other file, and when the
// data cannot be read (nothing to judge). Reads no further than the verdict
// needs.
bool PhotoWhole(const FoundFileRecord& file, const RecordDataReader& read);

}  // namespace vexlo::carving
