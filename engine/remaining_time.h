// The remaining-time estimate of a long scan: the rate so far applied to
// what is left. It is renewed at most every 5 s, so that the number shown
// neither flickers nor jumps with every chunk read.
#pragma once

#include <chrono>
#include <cstdint>

namespace vexlo {

// Between two renewals of the estimate.
inline constexpr std::chrono::milliseconds kRemainingTimeInterval{5000};

class RemainingTimeClock {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts timing a scan; the estimate is unknown (-1) until the first
  // renewal.
  void Start(Clock::time_point now = Clock::now());

  // The estimate in seconds once `done` of `total` units are done, renewed
  // when 5 s have passed since the start or the last renewal; -1 while
  // unknown. A scan that has done nothing yet keeps the old estimate.
  int32_t Update(uint64_t done, uint64_t total, Clock::time_point now = Clock::now());

  int32_t seconds() const { return seconds_; }

 private:
  Clock::time_point started_{};
  Clock::time_point renewed_{};
  int32_t seconds_ = -1;
};

}  // namespace vexlo
