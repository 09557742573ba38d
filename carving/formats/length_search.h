// The forward length search that most length rules share.
//
// The file is read in chunks of up to 64 KiB after its header sector. Every
// chunk is reported as progress (the callback may cancel), scanned for the
// start of another file or for file-system metadata (where this file must
// end), and offered to the rule's own end-marker search. The search stops at
// a new start, at the rule's cap, at a read failure, at the end of the medium
// or when the progress callback answers nonzero; the result is then the
// length reached: the header sector, every whole chunk, and the sectors of
// the last chunk before a new start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "carving/formats/carving_state.h"

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

uint64_t SearchForwardWith(CarvingState& state, uint64_t cap_bytes, StartRule rule,
                           ChunkSearch search, void* context);

// `on_chunk(const Chunk&) -> std::optional<uint64_t>`; a value ends the
// search with that length.
template <class OnChunk>
uint64_t SearchForward(CarvingState& state, uint64_t cap_bytes, OnChunk&& on_chunk,
                       StartRule rule = StartRule::kAnyFormat) {
  using F = std::remove_reference_t<OnChunk>;
  return SearchForwardWith(
      state, cap_bytes, rule,
      [](void* context, const Chunk& chunk, uint64_t* length) {
        const std::optional<uint64_t> found = (*static_cast<F*>(context))(chunk);
        if (found) *length = *found;
        return found.has_value();
      },
      &on_chunk);
}

// A search without an end marker: the file ends at the next start, at
// metadata or at the cap.
uint64_t SearchForwardPlain(CarvingState& state, uint64_t cap_bytes);

template <uint64_t kCapBytes>
uint64_t ForwardToCap(CarvingState& state, const uint8_t* /*sector*/, std::size_t /*length*/) {
  return SearchForwardPlain(state, kCapBytes);
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
