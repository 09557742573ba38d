// Milliseconds of the monotonic clock, for intervals and rates: a change of
// the wall clock during a long scan or copy must not stretch or reverse them.
#pragma once

#include <chrono>
#include <cstdint>

namespace vexlo::platform {

inline uint64_t SteadyMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace vexlo::platform
