// Progress of a long operation on stderr: a redrawn bar when stderr is a
// terminal, otherwise a plain line at every tenth of the way and at least
// every ten seconds, so that logs stay short and readable. The percentage is
// that of the sectors done wherever they are counted, the files found so far
// are those the list at the end will hold, and the time left appears only
// once the operation has run long enough to estimate it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vexlo::cli {

// "1 h 02 min", "3 min 05 s", "12 s".
std::string DurationText(int64_t seconds);

class ProgressDisplay {
 public:
  // `label` starts every line ("image").
  explicit ProgressDisplay(std::string label, std::FILE* out = stderr);

  // remaining_seconds: -1 while still estimating; files_found: -1 when the
  // operation cannot tell how many of what it found will be listed.
  void Update(int32_t percentage, uint64_t sectors_done, uint64_t sectors_total,
              int64_t remaining_seconds, int64_t files_found = -1);

  // For operations in stages: `details` follow the stage's name. A new
  // stage starts a new line, so the last state of each stage stays
  // readable above the current one.
  void UpdateStage(int32_t percentage, const std::string& stage, const std::string& details);

  // Ends the bar's line; call once the operation is over.
  void Finish();

 private:
  // `terminal_tail` follows the bar, `plain_tail` the percentage of a
  // plain line.
  void Show(int32_t percentage, const std::string& terminal_tail, const std::string& plain_tail,
            bool new_stage);

  std::string label_;
  std::FILE* out_;
  bool terminal_;
  std::string stage_;
  bool drawn_ = false;
  int32_t last_tenth_ = -1;
  std::string last_plain_tail_;
  uint64_t last_line_ms_ = 0;
  uint64_t started_ms_;
};

}  // namespace vexlo::cli
