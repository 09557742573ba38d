// Office Open XML archives (docx, xlsx, pptx): ZIP files whose first member
// names tell the application. The test reads up to 20 sectors of the archive
// and answers docx, xlsx or pptx by the first member name that begins with
// "word", "xl" or "ppt"; any other ZIP is left to the plain ZIP row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t OfficeArchiveTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
