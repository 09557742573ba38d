#include "cli/progress_display.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "cli/command_line.h"
#include "platform/steady_clock.h"
#include "platform/terminal.h"

namespace vexlo::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr uint64_t kPlainLineIntervalMs = 10000;
// The engines extrapolate from the stretch read so far, which at first is
// mostly start-up: an estimate from the first seconds is noise, and an
// operation that ends within them needs none.
constexpr uint64_t kEstimateAfterMs = 5000;

// Sectors done; nothing when the operation cannot count sectors (its total
// is 0).
std::string CountText(uint64_t sectors_done, uint64_t sectors_total, const char* sectors_format) {
  if (sectors_total == 0) return "";
  char text[80];
  std::snprintf(text, sizeof text, sectors_format, static_cast<unsigned long long>(sectors_done),
                static_cast<unsigned long long>(sectors_total));
  return text;
}

// "1 file", "12 files"; nothing for an unknown count.
std::string FilesText(int64_t files_found) {
  if (files_found < 0) return "";
  return Counted(static_cast<uint64_t>(files_found), "file");
}

// "about 3 min 05 s left", or nothing while no estimate is worth showing.
std::string TimeText(int64_t remaining_seconds, uint64_t elapsed_ms) {
  if (remaining_seconds < 0 || elapsed_ms < kEstimateAfterMs) return "";
  return "about " + DurationText(remaining_seconds) + " left";
}

// The share of the sectors done where the operation counts them: the
// engines' own percentage may weigh stages differently.
int32_t Percentage(int32_t percentage, uint64_t sectors_done, uint64_t sectors_total) {
  if (sectors_total == 0) return percentage;
  return static_cast<int32_t>(std::min(sectors_done, sectors_total) * 100 / sectors_total);
}

// `parts` joined by `separator`, the empty ones left out.
std::string Joined(std::initializer_list<std::string> parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (!part.empty()) text += separator + part;
  }
  return text;
}

}  // namespace

std::string DurationText(int64_t seconds) {
  char text[48];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60));
  } else if (seconds >= 60) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld s",
                  static_cast<long long>(std::max<int64_t>(0, seconds)));
  }
  return text;
}

ProgressDisplay::ProgressDisplay(std::string label, std::FILE* out)
    : label_(std::move(label)),
      out_(out),
      terminal_(platform::IsTerminal(out)),
      started_ms_(platform::SteadyMilliseconds()) {}

void ProgressDisplay::Update(int32_t percentage, uint64_t sectors_done, uint64_t sectors_total,
                             int64_t remaining_seconds, int64_t files_found) {
  const std::string time =
      TimeText(remaining_seconds, platform::SteadyMilliseconds() - started_ms_);
  const std::string files = FilesText(files_found);
  Show(Percentage(percentage, sectors_done, sectors_total),
       Joined({CountText(sectors_done, sectors_total, "%llu/%llu sectors"), files, time}, "  "),
       Joined({CountText(sectors_done, sectors_total, "%llu of %llu sectors"), files, time}, ", "),
       false);
}

void ProgressDisplay::UpdateStage(int32_t percentage, const std::string& stage,
                                  const std::string& details) {
  const bool new_stage = stage != stage_;
  stage_ = stage;
  Show(percentage, "  " + stage + ": " + details, ", " + stage + ": " + details, new_stage);
}

void ProgressDisplay::Show(int32_t percentage, const std::string& terminal_tail,
                           const std::string& plain_tail, bool new_stage) {
  percentage = std::clamp(percentage, 0, 100);
  if (terminal_) {
    if (new_stage && drawn_) std::fputc('\n', out_);
    const int filled = percentage * kBarWidth / 100;
    char head[96];
    std::snprintf(head, sizeof head, "%s [%.*s%.*s] %3d%%", label_.c_str(), filled,
                  "##############################", kBarWidth - filled,
                  "..............................", percentage);
    std::string line = head + terminal_tail;
    // A line longer than the terminal wraps, and the next redraw would
    // then start on its last row.
    const int columns = platform::TerminalColumns(out_);
    if (columns > 1 && line.size() >= static_cast<std::size_t>(columns)) {
      line.resize(static_cast<std::size_t>(columns - 1));
    }
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
    drawn_ = true;
    return;
  }
  const uint64_t now = platform::SteadyMilliseconds();
  const int32_t tenth = percentage / 10;
  // The end state always shows: a scan's last report may only correct the
  // count of files found.
  const bool changed_end = percentage == 100 && plain_tail != last_plain_tail_;
  if (!new_stage && !changed_end && tenth == last_tenth_ &&
      now - last_line_ms_ < kPlainLineIntervalMs) {
    return;
  }
  last_tenth_ = tenth;
  last_line_ms_ = now;
  last_plain_tail_ = plain_tail;
  std::fprintf(out_, "%s: %d%%%s\n", label_.c_str(), percentage, plain_tail.c_str());
  std::fflush(out_);
}

void ProgressDisplay::Finish() {
  if (drawn_) std::fputc('\n', out_);
  drawn_ = false;
}

}  // namespace vexlo::cli
