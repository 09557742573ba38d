#include "cli/json_text.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace vexlo::cli {

void PrintJsonLine(const nlohmann::ordered_json& object) {
  const std::string line =
      object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace vexlo::cli
