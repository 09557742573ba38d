// The base of objects that stand for something they hold while they live (a
// folder, a mounted card, a thread's listening slot, open files): a copy would
// give it back twice, so they are neither copied nor moved.
#pragma once

namespace vexlo {

class NonCopyable {
 public:
  NonCopyable(const NonCopyable&) = delete;
  NonCopyable& operator=(const NonCopyable&) = delete;

 protected:
  NonCopyable() = default;
  ~NonCopyable() = default;
};

}  // namespace vexlo
