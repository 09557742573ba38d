#include "carving/formats/length_search.h"

#include <algorithm>

#include "carving/formats/signature_table.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {

FileMeasure::FileMeasure(CarvingState& state, uint64_t file_start)
    : state_(state), probe_(state.medium_, state.streams_, file_start, file_start) {
  state_.trail_.Start(file_start, state_.streams_.StartTestsLenient(file_start));
}

const uint8_t* FileMeasure::ReadFromStart(uint64_t first, uint64_t count) {
  CarvingMedium& medium = state_.medium_;
  if (count > kWorkBufferBytes / medium.sector_bytes()) return nullptr;
  uint8_t* const into = medium.work_buffer().data();
  return medium.ReadWhole(file_start() + first, count, into) ? into : nullptr;
}

const uint8_t* FileMeasure::PeekAt(uint64_t offset, std::size_t size) {
  CarvingMedium& medium = state_.medium_;
  const uint32_t sector_bytes = medium.sector_bytes();
  const uint64_t first = file_start() + offset / sector_bytes;
  const uint64_t count = (offset % sector_bytes + size + sector_bytes - 1) / sector_bytes;
  const uint64_t medium_sectors = medium.MediumSectors();
  if (count > kWorkBufferBytes / sector_bytes || first >= medium_sectors ||
      count > medium_sectors - first) {
    return nullptr;
  }
  uint64_t arrived = 0;
  const uint8_t* const data = medium.ReadChunk(first, count, &arrived);
  // A structure is only followed over sectors that all arrived.
  if (data == nullptr || arrived < count) return nullptr;
  medium.KeepSearched({first, count, data});
  return data + offset % sector_bytes;
}

uint64_t FileMeasure::BytesToMediumEnd() const {
  const uint64_t medium_sectors = state_.medium_.MediumSectors();
  const uint64_t start = file_start();
  return medium_sectors > start ? (medium_sectors - start) * sector_bytes() : 0;
}

void FileMeasure::RecordStream(uint64_t length_bytes) {
  const uint32_t sector_bytes = this->sector_bytes();
  const uint64_t sectors = std::max<uint64_t>(1, (length_bytes + sector_bytes - 1) / sector_bytes);
  state_.streams_.AddStream({file_start(), file_start() + sectors - 1});
}

bool FileMeasure::NextStartScan(const uint8_t* chunk, std::size_t byte_count, uint64_t* length,
                                StartRule rule) {
  const std::size_t sector_bytes = this->sector_bytes();
  const int32_t ignored = rule == StartRule::kIgnoreMpeg ? code::kMpeg : code::kNoMatch;
  const std::size_t sectors = byte_count / sector_bytes;
  SearchTrail& trail = state_.trail_;
  for (std::size_t i = 0; i < sectors; ++i) {
    probe_.Advance();
    const uint8_t* sector = chunk + i * sector_bytes;
    const WalkResult walk = WalkTable(probe_, sector, sector_bytes, ignored);
    if (walk.type_code != code::kNoMatch || state_.IsMetadata(sector, sector_bytes)) {
      *length += i * sector_bytes;
      return true;
    }
    // A start the rule ignored, or a sector the walk routes elsewhere, is
    // not vouched for: the walk has to look at it itself.
    if (trail.Reaches(probe_.sector())) {
      trail.Extend(probe_.sector(),
                   !walk.ignored_seen && !state_.IsHandledElsewhere(sector, sector_bytes));
    }
  }
  return false;
}

uint64_t FileMeasure::SearchForwardWith(uint64_t cap_bytes, StartRule rule, ChunkSearch search,
                                        void* context) {
  CarvingMedium& medium = state_.medium_;
  const uint32_t sector_bytes = medium.sector_bytes();
  uint64_t length = sector_bytes;
  const auto limit = static_cast<uint32_t>(cap_bytes / sector_bytes);
  const uint32_t sectors_per_chunk = static_cast<uint32_t>(kWorkBufferBytes / sector_bytes);
  const uint64_t medium_sectors = medium.MediumSectors();
  uint64_t searched = 0;
  while (searched < limit) {
    const uint64_t next = file_start() + 1 + searched;
    // A file that reaches the end of the medium keeps the sectors that are
    // there, instead of losing the whole last chunk to a read past the end.
    if (next >= medium_sectors) break;
    const uint64_t wanted =
        std::min<uint64_t>({sectors_per_chunk, limit - searched, medium_sectors - next});
    uint64_t count = 0;
    const uint8_t* const data = medium.ReadChunk(next, wanted, &count);
    if (data == nullptr) break;
    // The file cannot be followed past an unreadable sector, but what lies
    // before it is searched like any chunk.
    const bool cut_short = count < wanted;
    medium.KeepSearched({next, count, data});
    if (!state_.progress_.Report(searched + count)) break;

    const std::size_t chunk_bytes = static_cast<std::size_t>(count * sector_bytes);
    const uint64_t bytes_before = length;
    const bool new_start = NextStartScan(data, chunk_bytes, &length, rule);
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
    if (cut_short) break;
  }
  return length;
}

uint64_t SearchForwardPlain(FileMeasure& file, uint64_t cap_bytes) {
  return file.SearchForwardWith(cap_bytes, StartRule::kAnyFormat, nullptr, nullptr);
}

}  // namespace vexlo::carving
