// Programs and disk images that are recognised but never carved: PE files
// (exe, dll, sys) and Ghost images. Recognising them keeps their sectors from
// being taken for the start of something else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

// Answers exe, dll or sys from the PE characteristics.
int32_t PortableExecutableTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t GhostTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
