// Progress reports from inside a length search.
//
// A long file is read chunk by chunk while the caller's walk waits, so the
// search reports for it: from the point the caller had reached when the file
// began, on the caller's scale, with the caller's found count. The callback
// may stop the search; its last answer tells the caller why it stopped.
#pragma once

#include <cstdint>

#include "engine/file_recovery_parse.h"

namespace vexlo::carving {

// The caller's progress at the sector being identified.
struct ProgressPoint {
  uint64_t sectors_done = 0;
  uint64_t sectors_total = 0;  // 0 when not known
  int32_t remaining_seconds = -1;
};

class SearchProgress {
 public:
  // None: searches report nothing and are never stopped.
  void SetCallback(ScanProgressCallback callback, void* user, int32_t scale);

  // Where the caller stands as a file begins; forgets the last answer.
  void Begin(const ProgressPoint& point, uint64_t found_count) {
    point_ = point;
    found_count_ = found_count;
    answer_ = 0;
  }

  // Reports `searched` sectors read behind the file's first sector. False
  // when the callback answered nonzero: the search is to stop.
  bool Report(uint64_t searched);

  // Whether the last answer was the cancel code.
  bool cancelled() const { return answer_ == kCancelCode; }
  void ForgetAnswer() { answer_ = 0; }

 private:
  ScanProgressCallback callback_ = nullptr;
  void* user_ = nullptr;
  int32_t scale_ = 0;
  ProgressPoint point_;
  uint64_t found_count_ = 0;
  int32_t answer_ = 0;  // the callback's last answer
};

}  // namespace vexlo::carving
