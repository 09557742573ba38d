#include "carving/formats/carving_state.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace vexlo::carving {
namespace {

// Copies the sectors from `sector` on that `span` holds, at most `count`;
// returns how many. The source may overlap `into` (the work buffer).
uint64_t CopyHeld(const SectorSpan& span, uint32_t sector_bytes, uint64_t sector, uint64_t count,
                  uint8_t* into) {
  if (!span.Contains(sector)) return 0;
  const uint64_t n = std::min(count, span.end() - sector);
  std::memmove(into, span.At(sector, sector_bytes), n * sector_bytes);
  return n;
}

}  // namespace

CarvingState::CarvingState()
    : work_buffer(kWorkBufferBytes), probe_buffer(4 * kMaxCarvingSectorBytes + 4) {}

uint64_t CarvingState::MediumSectors() const {
  if (source == nullptr || !source->is_open() || sector_bytes == 0) return 0;
  // total_sectors counts the device's own sectors (512-byte units for images).
  const unsigned __int128 bytes =
      static_cast<unsigned __int128>(source->total_sectors) * source->device_sector_bytes;
  return static_cast<uint64_t>(bytes / sector_bytes);
}

bool CarvingState::ReadWhole(uint64_t sector, uint64_t count, uint8_t* into) {
  const uint64_t medium = MediumSectors();
  if (sector >= medium || count > medium - sector) return false;
  // A search chunk held in the work buffer is no source for a read into
  // that buffer: the copy would overwrite what it copies from.
  const std::less_equal<const uint8_t*> not_after;
  const bool into_work_buffer = not_after(work_buffer.data(), into) &&
                                not_after(into, work_buffer.data() + work_buffer.size() - 1);
  const bool search_chunk_usable =
      !(into_work_buffer && trail.last_chunk.data == work_buffer.data());
  uint64_t done = 0;
  for (uint64_t got = 1; done < count && got != 0; done += got) {
    got =
        CopyHeld(walk_chunk, sector_bytes, sector + done, count - done, into + done * sector_bytes);
    if (got == 0 && search_chunk_usable) {
      got = CopyHeld(trail.last_chunk, sector_bytes, sector + done, count - done,
                     into + done * sector_bytes);
    }
  }
  if (done == count) return true;
  uint64_t sectors_read = 0;
  const ErrorCode rc = ReadSectors(count - done, *source, into + done * sector_bytes, sector + done,
                                   sector_bytes, &sectors_read);
  return rc.ok() && sectors_read == count - done;
}

const uint8_t* CarvingState::ReadChunk(uint64_t sector, uint64_t count) {
  if (walk_chunk.Holds(sector, count)) return walk_chunk.At(sector, sector_bytes);
  return ReadWhole(sector, count, work_buffer.data()) ? work_buffer.data() : nullptr;
}

uint64_t CarvingState::TakeSearched(uint64_t sector, uint64_t max_count, uint8_t* into) {
  return CopyHeld(trail.last_chunk, sector_bytes, sector, max_count, into);
}

bool CarvingState::FileStartInsideCarvedStream() const {
  return std::any_of(transport_stream_ranges.begin(), transport_stream_ranges.end(),
                     [&](const SectorRange& range) {
                       return range.first <= file_start && file_start <= range.last;
                     });
}

bool CarvingState::StartTestsLenient() const {
  // A later identification tests continuity with the stream flag set and its
  // own start against the carved streams (never inside the one just
  // measured), and with the MTS flag clear.
  return !mts_flag && (!stream_continuation || !FileStartInsideCarvedStream());
}

void CarvingState::ResetForScan() {
  transport_stream_ranges.clear();
  stream_continuation = true;
  mts_flag = false;
  callback_result = 0;
  trail = {};
}

}  // namespace vexlo::carving
