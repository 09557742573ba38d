// Programs and disk images that are recognised but never carved: PE files
// (exe, dll, sys) and Ghost images. Recognising them keeps their sectors from
// being taken for the start of something else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

// Answers exe, dll or sys from the PE characteristics.
HeaderTestFunction PortableExecutableTest, GhostTest;

}  // namespace vexlo::carving
