// TrueType fonts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"

namespace vexlo::carving {

int32_t TrueTypeTest(CarvingState& state, const uint8_t* sector, std::size_t length);
// The end of the table that reaches furthest.
uint64_t TrueTypeLength(CarvingState& state, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
