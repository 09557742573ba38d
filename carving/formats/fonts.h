// TrueType fonts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction TrueTypeTest;
// The end of the table that reaches furthest.
LengthFinderFunction TrueTypeLength;

}  // namespace vexlo::carving
