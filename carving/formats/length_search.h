// What a length rule works with: the file being measured, and the forward
// length search that most rules share.
//
// The search reads the file in chunks of up to 64 KiB after its header
// sector. Every chunk is reported as progress (the callback may cancel),
// scanned for the start of another file or for file-system metadata (where
// this file must end), and offered to the rule's own end-marker search. The
// search stops at a new start, at the rule's cap, at an unreadable sector
// (the sectors before it are still searched), at the end of the medium or
// when the progress callback answers nonzero; the result is then the length
// reached: the header sector, every whole chunk, and the sectors of the last
// chunk before a new start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "carving/formats/carving_state.h"
#include "carving/formats/header_probe.h"

namespace vexlo::carving {

// One chunk as an end-marker search sees it.
struct Chunk {
  const uint8_t* data;
  std::size_t size;
  uint64_t bytes_before;  // from the file start to data[0]
  bool new_start;         // the next-start scan found a start in this chunk
  // The length with this chunk searched: up to the new start, or through the
  // whole chunk.
  uint64_t length_reached;
};

enum class StartRule {
  kAnyFormat,
  kIgnoreMpeg,  // an MPEG stream's own pack headers do not end it
};

// Type-erased end-marker search: returns true with *length set to end the
// search at once with that length.
using ChunkSearch = bool (*)(void* context, const Chunk& chunk, uint64_t* length);

// The file that a length rule measures: made by identification for the row
// that matched, it starts the search trail at the file.
class FileMeasure {
 public:
  FileMeasure(CarvingState& state, uint64_t file_start);

  uint32_t sector_bytes() const { return state_.medium_.sector_bytes(); }
  uint64_t file_start() const { return probe_.file_start(); }

  // `count` sectors from `first` sectors behind the file start, read into
  // the work buffer (at most its 64 KiB); null when a read fails.
  const uint8_t* ReadFromStart(uint64_t first, uint64_t count);

  // `size` bytes (at most a work buffer's worth of sectors) at `offset` from
  // the file start, for rules that jump from field to field. The sectors
  // read stay with the medium for the walk to take, so that looking just
  // past the file's end costs the walk no second read. Null when a read
  // fails or the bytes reach past the medium.
  const uint8_t* PeekAt(uint64_t offset, std::size_t size);

  // Bytes from the file start to the end of the medium.
  uint64_t BytesToMediumEnd() const;

  // The file is a transport stream of `length_bytes`.
  void RecordStream(uint64_t length_bytes);

  // The rule found the file's structure whole but its own checks failing.
  void MarkDamaged() { damaged_ = true; }
  bool damaged() const { return damaged_; }

  // The forward search, capped at `cap_bytes` from the file start.
  uint64_t SearchForwardWith(uint64_t cap_bytes, StartRule rule, ChunkSearch search, void* context);

 private:
  // Looks at the sectors of `chunk` after the ones scanned so far. At the
  // first that starts a file or holds file-system metadata, adds the bytes
  // before it to *length and returns true. Extends the trail over the
  // sectors found clear.
  bool NextStartScan(const uint8_t* chunk, std::size_t byte_count, uint64_t* length,
                     StartRule rule);

  CarvingState& state_;
  HeaderProbe probe_;  // at the last sector scanned
  bool damaged_ = false;
};

// `on_chunk(const Chunk&) -> std::optional<uint64_t>`; a value ends the
// search with that length.
template <class OnChunk>
uint64_t SearchForward(FileMeasure& file, uint64_t cap_bytes, OnChunk&& on_chunk,
                       StartRule rule = StartRule::kAnyFormat) {
  using F = std::remove_reference_t<OnChunk>;
  return file.SearchForwardWith(
      cap_bytes, rule,
      [](void* context, const Chunk& chunk, uint64_t* length) {
        const std::optional<uint64_t> found = (*static_cast<F*>(context))(chunk);
        if (found) *length = *found;
        return found.has_value();
      },
      &on_chunk);
}

// A search without an end marker: the file ends at the next start, at
// metadata or at the cap.
uint64_t SearchForwardPlain(FileMeasure& file, uint64_t cap_bytes);

template <uint64_t kCapBytes>
uint64_t ForwardToCap(FileMeasure& file, const uint8_t* /*sector*/, std::size_t /*length*/) {
  return SearchForwardPlain(file, kCapBytes);
}

// Caps in bytes.
inline constexpr uint64_t k8MiB = 0x800000;
inline constexpr uint64_t k128MiB = 0x8000000;
inline constexpr uint64_t k256MiB = 0x10000000;
inline constexpr uint64_t k1GiB = 0x40000000;
inline constexpr uint64_t k2GiB = 0x80000000;
inline constexpr uint64_t k4GiB = 0x100000000;
inline constexpr uint64_t k6GiB = 0x180000000;
inline constexpr uint64_t k64GiB = 0x1000000000;
inline constexpr uint64_t kJustUnder128MiB = 0x7FFFFFF;

}  // namespace vexlo::carving
