#include "carving/walk_window.h"

#include <algorithm>
#include <cstring>

namespace vexlo::carving {

WalkWindow::WalkWindow(CarvingState& state, uint32_t sector_bytes, std::size_t chunk_bytes)
    : state_(state), sector_bytes_(sector_bytes), buffer_(chunk_bytes + 2 * kWorkBufferBytes) {
  state_.sector_bytes = sector_bytes;
  held_.data = buffer_.data();
}

void WalkWindow::Share() { state_.walk_chunk = held_; }

void WalkWindow::Unshare() {
  if (state_.walk_chunk.data == buffer_.data()) state_.walk_chunk = {};
}

void WalkWindow::Release() {
  Unshare();
  // The search's last chunk may lie inside this window.
  state_.trail.last_chunk = {};
}

uint64_t WalkWindow::Hold(DiskHandle& disk, uint64_t sector, uint64_t want,
                          uint64_t* sectors_read) {
  want = std::min(want, Capacity());
  if (held_.Holds(sector, want)) return end() - sector;
  // Keep what is held from `sector` on, at the front.
  const uint64_t kept = held_.Contains(sector) ? end() - sector : 0;
  Unshare();
  if (kept > 0) {
    std::memmove(buffer_.data(), At(sector), kept * sector_bytes_);
  }
  held_.first = sector;
  held_.count = kept;
  held_.count += state_.TakeSearched(end(), want - held_.count, Behind());
  if (held_.count < want) {
    uint64_t read = 0;
    (void)ReadSectors(want - held_.count, disk, Behind(), end(), sector_bytes_, &read);
    held_.count += read;
    *sectors_read += read;
  }
  // What the search held is taken, or was passed over; its pointer may
  // even point into this window, whose bytes just moved.
  state_.trail.last_chunk = {};
  Share();
  return held_.count;
}

void WalkWindow::Absorb(uint64_t resume_sector) {
  const uint64_t room = Capacity() - held_.count;
  if (held_.count == 0 || room == 0 || resume_sector > end()) return;
  const uint64_t taken = state_.TakeSearched(end(), room, Behind());
  if (taken == 0) return;
  held_.count += taken;
  Share();
}

}  // namespace vexlo::carving
