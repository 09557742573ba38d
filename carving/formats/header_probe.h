// What a header test may use besides the sector it tests: the sectors
// around it and the transport-stream history.
//
// Tests read only into the probe buffer: they also run inside a length
// search, whose chunk may lie in the work buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "carving/formats/carving_medium.h"
#include "carving/formats/stream_history.h"

namespace vexlo::carving {

class HeaderProbe {
 public:
  // `sector` is the absolute number of the sector under test; `file_start`
  // where the file being identified or measured begins (the same sector
  // at an identification, an earlier one in a next-start scan).
  HeaderProbe(CarvingMedium& medium, const StreamHistory& streams, uint64_t file_start,
              uint64_t sector)
      : medium_(&medium), streams_(&streams), file_start_(file_start), sector_(sector) {}

  uint32_t sector_bytes() const { return medium_->sector_bytes(); }
  uint64_t sector() const { return sector_; }
  uint64_t file_start() const { return file_start_; }
  const StreamHistory& streams() const { return *streams_; }

  // Reads `count` sectors from `first` into the probe buffer, `offset`
  // bytes in; false unless they fit there and all arrive.
  bool Read(uint64_t first, uint64_t count, std::size_t offset = 0) const {
    const std::span<uint8_t> buffer = medium_->probe_buffer();
    if (offset > buffer.size() || count > (buffer.size() - offset) / sector_bytes()) return false;
    return medium_->ReadWhole(first, count, buffer.data() + offset);
  }
  std::span<uint8_t> buffer() const { return medium_->probe_buffer(); }

  // The next sector of a next-start scan.
  void Advance() { ++sector_; }

 private:
  CarvingMedium* medium_;
  const StreamHistory* streams_;
  uint64_t file_start_;
  uint64_t sector_;
};

}  // namespace vexlo::carving
