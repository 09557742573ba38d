#include "carving/walk_window.h"

#include <algorithm>
#include <cstring>

namespace vexlo::carving {

WalkWindow::WalkWindow(CarvingState& state, uint32_t sector_bytes, std::size_t chunk_bytes)
    : state_(state), sector_bytes_(sector_bytes), buffer_(chunk_bytes + 2 * kWorkBufferBytes) {
  state_.sector_bytes = sector_bytes;
}

void WalkWindow::Share() { state_.walk_chunk = {first_, count_, buffer_.data()}; }

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
  const uint64_t capacity = buffer_.size() / sector_bytes_;
  want = std::min(want, capacity);
  if (sector >= first_ && sector < end() && end() - sector >= want) return end() - sector;
  // Keep what is held from `sector` on, at the front.
  const uint64_t kept = sector >= first_ && sector < end() ? end() - sector : 0;
  Unshare();
  if (kept > 0) {
    std::memmove(buffer_.data(), At(sector), kept * sector_bytes_);
  }
  first_ = sector;
  count_ = kept;
  count_ += state_.TakeSearched(end(), want - count_, buffer_.data() + count_ * sector_bytes_);
  if (count_ < want) {
    uint64_t read = 0;
    (void)ReadSectors(want - count_, disk, buffer_.data() + count_ * sector_bytes_, end(),
                      sector_bytes_, &read);
    count_ += read;
    *sectors_read += read;
  }
  // What the search held is taken, or was passed over; its pointer may
  // even point into this window, whose bytes just moved.
  state_.trail.last_chunk = {};
  Share();
  return count_;
}

void WalkWindow::Absorb(uint64_t resume_sector) {
  const uint64_t capacity = buffer_.size() / sector_bytes_;
  const uint64_t room = capacity - count_;
  if (count_ == 0 || room == 0 || resume_sector > end()) return;
  const uint64_t taken = state_.TakeSearched(end(), room, buffer_.data() + count_ * sector_bytes_);
  if (taken == 0) return;
  count_ += taken;
  Share();
}

}  // namespace vexlo::carving
