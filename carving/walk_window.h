// The stretch of the medium that a walk over it holds in memory.
//
// A walk (the carving engine's CarveRange, the formatted-recovery driver's
// main phase) reads the medium front to back and hands sector after sector
// to carving, whose length searches read ahead of it. The window shares the
// walk's sectors with those searches and keeps what a search read just
// behind the window, so that neither reads a sector the other already has:
// every sector of the medium is read once. Its memory is bounded: one chunk
// plus two search chunks.
//
// One window belongs to one walk and its carving state; one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "carving/formats/carving_state.h"
#include "platform/non_copyable.h"
#include "storage/sector_io.h"

namespace vexlo::carving {

class WalkWindow : NonCopyable {
 public:
  // Sectors of `sector_bytes`, which becomes the carving medium's size too
  // (a size carving can use).
  WalkWindow(CarvingState& state, uint32_t sector_bytes, std::size_t chunk_bytes);
  ~WalkWindow() { Release(); }

  // Holds at least `want` sectors from `sector` on, as far as the medium
  // gives them: keeps what the window already holds from there, takes what
  // the last length search holds, and reads the rest from `disk`. Returns
  // the sectors held from `sector` (0 when none could be read); adds those
  // read from the medium to *sectors_read.
  uint64_t Hold(DiskHandle& disk, uint64_t sector, uint64_t want, uint64_t* sectors_read);

  // The sector's bytes; `sector` must be held.
  const uint8_t* At(uint64_t sector) const { return held_.At(sector, sector_bytes_); }
  uint64_t end() const { return held_.end(); }

  // After a carved file, when the walk resumes at `resume_sector` inside or
  // right behind the window: keeps the sectors that the file's length search
  // read just behind the window, while there is room. Never moves what the
  // window holds.
  void Absorb(uint64_t resume_sector);

  // Stops sharing the window with the length searches; the walk is over.
  void Release();

 private:
  void Share();
  void Unshare();
  uint64_t Capacity() const { return buffer_.size() / sector_bytes_; }
  // Where the next sector behind the held ones goes.
  uint8_t* Behind() { return buffer_.data() + held_.count * sector_bytes_; }

  CarvingMedium& medium_;
  uint32_t sector_bytes_;
  std::vector<uint8_t> buffer_;
  SectorSpan held_;  // always over buffer_
};

}  // namespace vexlo::carving
