#include "engine/remaining_time.h"

#include <algorithm>
#include <limits>

namespace vexlo {

void RemainingTimeClock::Start(Clock::time_point now) {
  started_ = now;
  renewed_ = now;
  seconds_ = -1;
}

int32_t RemainingTimeClock::Update(uint64_t done, uint64_t total, Clock::time_point now) {
  if (done == 0 || now - renewed_ < kRemainingTimeInterval) return seconds_;
  renewed_ = now;
  const auto elapsed_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - started_).count();
  const uint64_t left = total > done ? total - done : 0;
  // left x elapsed / done: the product needs more than 64 bits on a large
  // medium read slowly.
  const unsigned __int128 left_ms =
      static_cast<unsigned __int128>(left) * static_cast<uint64_t>(elapsed_ms) / done;
  seconds_ = static_cast<int32_t>(
      std::min<unsigned __int128>(left_ms / 1000, std::numeric_limits<int32_t>::max()));
  return seconds_;
}

}  // namespace vexlo
