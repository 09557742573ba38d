// JSON lines for the --json output of the subcommands.
#pragma once

#include <nlohmann/json_fwd.hpp>

namespace vexlo::cli {

// `object` on one line of stdout, its keys in the order they were given. Labels and names come from
// media and may hold anything: invalid UTF-8 becomes U+FFFD instead of failing, so the output
// always parses.
void PrintJsonLine(const nlohmann::ordered_json& object);

}  // namespace vexlo::cli
