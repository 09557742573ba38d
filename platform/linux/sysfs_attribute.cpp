#include "platform/linux/sysfs_attribute.h"

#include <fstream>

namespace vexlo::platform {

std::string SysfsFirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string SysfsAttribute(const std::filesystem::path& file) {
  std::string value = SysfsFirstLine(file);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\n' || value.back() == '\t')) {
    value.pop_back();
  }
  return value;
}

}  // namespace vexlo::platform
