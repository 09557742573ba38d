// TrueType fonts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t TrueTypeTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
// The end of the table that reaches furthest.
uint64_t TrueTypeLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
