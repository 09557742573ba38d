#include "carving/formats/length_search.h"

#include <algorithm>

#include "carving/formats/signature_table.h"

namespace vexlo::carving {

uint64_t SearchForwardWith(CarvingState& state, uint64_t cap_bytes, StartRule rule,
                           ChunkSearch search, void* context) {
  const uint32_t sector_bytes = state.sector_bytes;
  uint64_t length = sector_bytes;
  const auto limit = static_cast<uint32_t>(cap_bytes / sector_bytes);
  const uint32_t sectors_per_chunk = static_cast<uint32_t>(kWorkBufferBytes / sector_bytes);
  const uint64_t medium_sectors = state.MediumSectors();
  uint64_t searched = 0;
  while (searched < limit) {
    const uint64_t next = state.file_start + 1 + searched;
    // A file that reaches the end of the medium keeps the sectors that are
    // there, instead of losing the whole last chunk to a read past the end.
    if (next >= medium_sectors) break;
    const uint64_t count =
        std::min<uint64_t>({sectors_per_chunk, limit - searched, medium_sectors - next});
    const uint8_t* const data = state.ReadChunk(next, count);
    if (data == nullptr) break;
    state.trail.last_chunk = {next, count, data};

    if (state.progress != nullptr) {
      const uint64_t done = state.sectors_done + searched + count;
      const int32_t percent = state.sectors_total == 0
                                  ? 10
                                  : static_cast<int32_t>(done * 100 / state.sectors_total + 10);
      const int32_t answer =
          state.progress(state.progress_user, percent, state.progress_scale,
                         state.remaining_seconds, done, state.sectors_total, state.found_count, 0);
      state.callback_result = answer;
      if (answer != 0) break;
    }

    const std::size_t chunk_bytes = static_cast<std::size_t>(count * sector_bytes);
    const uint64_t bytes_before = length;
    const bool new_start = NextStartScan(state, chunk_bytes, data, &length, rule);
    uint64_t final_length = 0;
    if (search != nullptr && search(context,
                                    Chunk{data, chunk_bytes, bytes_before, new_start,
                                          new_start ? length : length + chunk_bytes},
                                    &final_length)) {
      return final_length;
    }
    if (new_start) break;
    length += chunk_bytes;
    searched += count;
  }
  return length;
}

uint64_t SearchForwardPlain(CarvingState& state, uint64_t cap_bytes) {
  return SearchForwardWith(state, cap_bytes, StartRule::kAnyFormat, nullptr, nullptr);
}

}  // namespace vexlo::carving
