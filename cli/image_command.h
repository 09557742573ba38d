// `vexlo-recover image SOURCE TARGET.img`: copies a disk, a partition, a
// disk-list entry or an image file sector by sector into an image file,
// going on past unreadable sectors (written as zeros and listed in
// TARGET.img.bad). Ctrl-C stops the copy and keeps the partial image.
#pragma once

#include <span>
#include <string_view>

namespace vexlo::cli {

// `words` are the arguments after "image". Returns the exit status.
int RunImageCommand(std::span<const std::string_view> words);

}  // namespace vexlo::cli
