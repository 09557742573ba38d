// For the storage tests: a rescue map as a short text that reads well in a
// failed expectation, "begin-end:status" per block, e.g. "0-4:+ 4-10:?".
#pragma once

#include <string>
#include <vector>

#include "storage/rescue_map.h"

namespace vexlo::testing {

inline std::string MapText(const std::vector<MapBlock>& blocks) {
  std::string text;
  for (const MapBlock& block : blocks) {
    if (!text.empty()) text += ' ';
    text += std::to_string(block.begin) + "-" + std::to_string(block.end) + ":" +
            static_cast<char>(block.status);
  }
  return text;
}

inline std::string MapText(const RescueMap& map) { return MapText(map.Blocks()); }

}  // namespace vexlo::testing
