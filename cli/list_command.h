// `vexlo-recover list [--json]`: the disk list, one numbered entry per
// volume, free area or whole disk; the numbers are what "entry:N" names.
#pragma once

#include <span>
#include <string_view>

namespace vexlo::cli {

// `words` are the arguments after "list". Returns the exit status.
int RunListCommand(std::span<const std::string_view> words);

}  // namespace vexlo::cli
