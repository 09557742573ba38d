// Office Open XML archives (docx, xlsx, pptx): ZIP files whose first member
// names tell the application. The test reads up to 20 sectors of the archive
// and answers docx, xlsx or pptx by the first member name that begins with
// "word", "xl" or "ppt"; any other ZIP is left to the plain ZIP row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction OfficeArchiveTest;

}  // namespace vexlo::carving
