#include "carving/walk_window.h"

#include <algorithm>
#include <cstring>

namespace vexlo::carving {

WalkWindow::WalkWindow(CarvingState& state, uint32_t sector_bytes, std::size_t chunk_bytes)
    : medium_(state.medium()),
      sector_bytes_(sector_bytes),
      buffer_(chunk_bytes + 2 * kWorkBufferBytes) {
  (void)medium_.SetSectorBytes(sector_bytes);
  held_.data = buffer_.data();
}

void WalkWindow::Share() { medium_.ShareWalkChunk(held_, sector_bytes_); }

void WalkWindow::Unshare() { medium_.StopSharing(buffer_.data()); }

void WalkWindow::Release() {
  Unshare();
  // The search's last chunk may lie inside this window.
  medium_.ForgetSearched();
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
  held_.count += medium_.TakeSearched(end(), want - held_.count, sector_bytes_, Behind());
  if (held_.count < want) {
    uint64_t read = 0;
    (void)ReadSectors(want - held_.count, disk, Behind(), end(), sector_bytes_, &read);
    held_.count += read;
    *sectors_read += read;
  }
  // What the search held is taken, or was passed over; its pointer may
  // even point into this window, whose bytes just moved.
  medium_.ForgetSearched();
  Share();
  return held_.count;
}

void WalkWindow::Absorb(uint64_t resume_sector) {
  const uint64_t room = Capacity() - held_.count;
  if (held_.count == 0 || room == 0 || resume_sector > end()) return;
  const uint64_t taken = medium_.TakeSearched(end(), room, sector_bytes_, Behind());
  if (taken == 0) return;
  held_.count += taken;
  Share();
}

}  // namespace vexlo::carving
