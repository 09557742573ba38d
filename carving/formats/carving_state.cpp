#include "carving/formats/carving_state.h"

namespace vexlo::carving {

uint64_t CarvingState::ResumeSector(uint64_t sector_number, uint64_t skip_count) {
  const uint64_t end = sector_number + skip_count;
  if (trail_.file_start() != sector_number || end >= trail_.clear_end()) return end;
  streams_.NothingFound();
  return trail_.clear_end();
}

void CarvingState::ResetForScan() {
  streams_.Reset();
  progress_.ForgetAnswer();
  trail_.Clear();
  medium_.ForgetSearched();
}

}  // namespace vexlo::carving
