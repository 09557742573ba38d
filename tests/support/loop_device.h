// A loop device of a test image, for the tests that need a real block
// device: attached read-only for the lifetime of the object, detached when
// it goes. Attaching needs root and a free loop device; where either is
// missing, attached() is false and reason() says why, for the test to skip.
#pragma once

#include <filesystem>
#include <string>

#include "platform/non_copyable.h"

namespace vexlo::testing {

class LoopDevice : NonCopyable {
 public:
  explicit LoopDevice(const std::filesystem::path& image);
  ~LoopDevice();

  bool attached() const { return !device_.empty(); }
  const std::string& reason() const { return reason_; }
  // "/dev/loop3"
  const std::filesystem::path& path() const { return device_; }

 private:
  std::filesystem::path device_;
  std::string reason_;
};

}  // namespace vexlo::testing
