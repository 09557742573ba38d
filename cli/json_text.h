// JSON text for the --json output of the subcommands.
#pragma once

#include <string>
#include <string_view>

namespace vexlo::cli {

// `text` as a quoted JSON string. Labels and names come from media and may
// hold anything: control characters are escaped and invalid UTF-8 becomes
// U+FFFD, so the output always parses.
std::string JsonString(std::string_view text);

}  // namespace vexlo::cli
