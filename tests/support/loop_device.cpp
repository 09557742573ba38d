#include "tests/support/loop_device.h"

#include <unistd.h>

#include "tests/support/fake_disk_tree.h"
#include "tests/support/fat_image.h"

namespace vexlo::testing {

LoopDevice::LoopDevice(const std::filesystem::path& image) {
  if (::geteuid() != 0) {
    reason_ = "attaching a loop device needs root";
    return;
  }
  std::string output;
  if (RunCapture("losetup --find --show --read-only " + ShellQuote(image.string()) + " 2>&1",
                 &output) != 0) {
    reason_ = "no loop device: " + output;
    return;
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  device_ = output;
}

LoopDevice::~LoopDevice() {
  if (attached()) RunQuiet("losetup --detach " + ShellQuote(device_.string()));
}

}  // namespace vexlo::testing
