#include "carving/formats/carving_medium.h"

#include <algorithm>
#include <bit>
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

CarvingMedium::CarvingMedium()
    : work_buffer_(kWorkBufferBytes), probe_buffer_(4 * kMaxCarvingSectorBytes + 4) {}

bool CarvingMedium::ChangeSectorBytes(uint32_t sector_bytes) {
  // Chunks and probes are sized for these sector sizes: powers of two up to
  // the largest, which divide the work buffer (tested without a division,
  // as this runs on every sector).
  static_assert(std::has_single_bit(kWorkBufferBytes) &&
                kMaxCarvingSectorBytes <= kWorkBufferBytes);
  if (!std::has_single_bit(sector_bytes) || sector_bytes > kMaxCarvingSectorBytes) return false;
  walk_chunk_ = {};
  searched_ = {};
  sector_bytes_ = sector_bytes;
  return true;
}

uint64_t CarvingMedium::MediumSectors() const {
  if (source_ == nullptr || !source_->is_open()) return 0;
  // total_sectors counts the device's own sectors (512-byte units for images).
  const unsigned __int128 bytes =
      static_cast<unsigned __int128>(source_->total_sectors) * source_->device_sector_bytes;
  return static_cast<uint64_t>(bytes / sector_bytes_);
}

bool CarvingMedium::ReadWhole(uint64_t sector, uint64_t count, uint8_t* into) {
  return ReadPrefix(sector, count, into) == count;
}

uint64_t CarvingMedium::ReadPrefix(uint64_t sector, uint64_t count, uint8_t* into) {
  const uint64_t medium = MediumSectors();
  if (sector >= medium || count > medium - sector) return 0;
  // A search chunk held in the work buffer is no source for a read into
  // that buffer: the copy would overwrite what it copies from.
  const std::less_equal<const uint8_t*> not_after;
  const bool into_work_buffer = not_after(work_buffer_.data(), into) &&
                                not_after(into, work_buffer_.data() + work_buffer_.size() - 1);
  const bool searched_usable = !(into_work_buffer && searched_.data == work_buffer_.data());
  uint64_t done = 0;
  for (uint64_t got = 1; done < count && got != 0; done += got) {
    got = CopyHeld(walk_chunk_, sector_bytes_, sector + done, count - done,
                   into + done * sector_bytes_);
    if (got == 0 && searched_usable) {
      got = CopyHeld(searched_, sector_bytes_, sector + done, count - done,
                     into + done * sector_bytes_);
    }
  }
  if (done == count) return count;
  uint64_t sectors_read = 0;
  (void)ReadSectors(count - done, *source_, into + done * sector_bytes_, sector + done,
                    sector_bytes_, &sectors_read);
  return done + sectors_read;
}

const uint8_t* CarvingMedium::ReadChunk(uint64_t sector, uint64_t count, uint64_t* arrived) {
  if (walk_chunk_.Holds(sector, count)) {
    *arrived = count;
    return walk_chunk_.At(sector, sector_bytes_);
  }
  *arrived = ReadPrefix(sector, count, work_buffer_.data());
  return *arrived == 0 ? nullptr : work_buffer_.data();
}

void CarvingMedium::StopSharing(const uint8_t* buffer) {
  if (walk_chunk_.data == buffer) walk_chunk_ = {};
}

uint64_t CarvingMedium::TakeSearched(uint64_t sector, uint64_t max_count, uint32_t sector_bytes,
                                     uint8_t* into) const {
  if (sector_bytes != sector_bytes_) return 0;
  return CopyHeld(searched_, sector_bytes_, sector, max_count, into);
}

}  // namespace vexlo::carving
