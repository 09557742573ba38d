// The one-value files of sysfs, read as text.
#pragma once

#include <filesystem>
#include <string>

namespace vexlo::platform {

// The first line of `file` without its line end; empty when it cannot be read.
std::string SysfsFirstLine(const std::filesystem::path& file);

// The first line without trailing blanks: the kernel pads some attributes,
// a disk's vendor and model among them, to a fixed width.
std::string SysfsAttribute(const std::filesystem::path& file);

}  // namespace vexlo::platform
