#include "carving/formats/search_progress.h"

namespace vexlo::carving {

void SearchProgress::SetCallback(ScanProgressCallback callback, void* user, int32_t scale) {
  callback_ = callback;
  user_ = user;
  scale_ = scale;
}

bool SearchProgress::Report(uint64_t searched) {
  if (callback_ == nullptr) return true;
  const uint64_t done = point_.sectors_done + searched;
  const uint64_t total = point_.sectors_total;
  const auto percent = static_cast<int32_t>(total == 0 ? 10 : done * 100 / total + 10);
  answer_ =
      callback_(user_, percent, scale_, point_.remaining_seconds, done, total, found_count_, 0);
  return answer_ == 0;
}

}  // namespace vexlo::carving
