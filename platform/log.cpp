#include "platform/log.h"

#include <atomic>
#include <cstdio>

namespace vexlo::platform {
namespace {
std::atomic<bool> g_silenced{false};
}  // namespace

void LogProblem(std::string_view what, int32_t code) {
  if (g_silenced.load(std::memory_order_relaxed)) return;
  std::fprintf(stderr, "vexlo: %.*s (code %d)\n", static_cast<int>(what.size()), what.data(), code);
}

void SetLogSilenced(bool silenced) { g_silenced.store(silenced, std::memory_order_relaxed); }

}  // namespace vexlo::platform
