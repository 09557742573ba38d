// The medium as carving reads it: the source, its sector size, the sectors
// already in memory and the two buffers that header tests and length rules
// read into.
//
// The walk over the medium lends its chunk, and the last length search
// leaves its last chunk behind, so that a sector in memory is never read
// again: ReadWhole copies what is held and reads only the rest. The buffers
// are allocated once, when the medium is made, so carving allocates nothing
// per sector or per file. One thread at a time; not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/non_copyable.h"
#include "storage/sector_io.h"

namespace vexlo::carving {

// Largest sector size carving handles; the probe buffer is sized for it.
inline constexpr uint32_t kMaxCarvingSectorBytes = 4096;
// Chunk size of every forward length search.
inline constexpr std::size_t kWorkBufferBytes = 65536;

// Sectors of the medium that are already in memory.
struct SectorSpan {
  uint64_t first = 0;
  uint64_t count = 0;
  const uint8_t* data = nullptr;  // not owned; count sectors of the medium's size

  uint64_t end() const { return first + count; }
  bool Contains(uint64_t sector) const {
    return data != nullptr && sector >= first && sector - first < count;
  }
  // Whether all of the `n` sectors from `sector` are held.
  bool Holds(uint64_t sector, uint64_t n) const { return Contains(sector) && n <= end() - sector; }
  // The bytes of a held sector of `sector_bytes`.
  const uint8_t* At(uint64_t sector, uint32_t sector_bytes) const {
    return data + (sector - first) * sector_bytes;
  }
};

class CarvingMedium : NonCopyable {
 public:
  CarvingMedium();

  // The sector size of every read, span and buffer offset. Only a power of
  // two up to kMaxCarvingSectorBytes is taken (false otherwise, nothing
  // changes): the buffers are sized for those. A new size forgets the
  // sectors held in memory, which were counted in the old one.
  [[nodiscard]] bool SetSectorBytes(uint32_t sector_bytes) {
    // Every identification sets the size again; it rarely changes.
    return sector_bytes == sector_bytes_ || ChangeSectorBytes(sector_bytes);
  }
  uint32_t sector_bytes() const { return sector_bytes_; }
  // The medium being carved; not owned.
  void SetSource(DiskHandle* source) { source_ = source; }

  // Sectors of the medium (0 without a source).
  uint64_t MediumSectors() const;

  // Reads `count` sectors from `sector` into `into`; false unless all
  // arrive. Reads past the end of the medium fail without touching the
  // device. Sectors held in memory are copied from there.
  bool ReadWhole(uint64_t sector, uint64_t count, uint8_t* into);
  // Reads as ReadWhole does, keeping what arrived before an unreadable
  // sector; returns how many sectors arrived.
  uint64_t ReadPrefix(uint64_t sector, uint64_t count, uint8_t* into);
  // The `count` sectors from `sector` (at most a work buffer), or the first
  // of them up to an unreadable one: a pointer into the walk's chunk when it
  // holds them all, else the work buffer filled from memory and the medium.
  // *arrived tells how many; null when none did.
  const uint8_t* ReadChunk(uint64_t sector, uint64_t count, uint64_t* arrived);

  // 64 KiB for the length rules' reads.
  std::span<uint8_t> work_buffer() { return work_buffer_; }
  // Extra sectors that header tests read: apart from the work buffer,
  // because the tests also run inside a length search over that buffer.
  std::span<uint8_t> probe_buffer() { return probe_buffer_; }

  // The walk's chunk, served to every read instead of the medium, until
  // the walk stops sharing the buffer that holds it. Only a chunk of the
  // medium's sector size is taken.
  void ShareWalkChunk(const SectorSpan& chunk, uint32_t sector_bytes) {
    if (sector_bytes == sector_bytes_) walk_chunk_ = chunk;
  }
  void StopSharing(const uint8_t* buffer);

  // The last chunk a length search read, kept for the walk to take.
  void KeepSearched(const SectorSpan& chunk) { searched_ = chunk; }
  void ForgetSearched() { searched_ = {}; }
  // Copies the sectors from `sector` on (at most `max_count`, of
  // `sector_bytes`) that the last length search still holds into `into`;
  // returns how many (none when the search read sectors of another size).
  uint64_t TakeSearched(uint64_t sector, uint64_t max_count, uint32_t sector_bytes,
                        uint8_t* into) const;

 private:
  bool ChangeSectorBytes(uint32_t sector_bytes);

  uint32_t sector_bytes_ = 512;
  DiskHandle* source_ = nullptr;
  SectorSpan walk_chunk_;
  SectorSpan searched_;
  std::vector<uint8_t> work_buffer_;
  std::vector<uint8_t> probe_buffer_;
};

}  // namespace vexlo::carving
