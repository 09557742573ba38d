#include "storage/known_bad_areas.h"

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "storage/mapfile.h"

namespace vexlo {

std::optional<ByteRange> KnownBadAreas::NextAfter(uint64_t byte_offset) const {
  const auto it =
      std::upper_bound(ranges_.begin(), ranges_.end(), byte_offset,
                       [](uint64_t offset, const ByteRange& range) { return offset < range.end; });
  if (it == ranges_.end()) return std::nullopt;
  return *it;
}

uint64_t KnownBadAreas::BytesIn(uint64_t begin, uint64_t end) const {
  uint64_t bytes = 0;
  for (std::optional<ByteRange> range = NextAfter(begin); range && range->begin < end;
       range = NextAfter(range->end)) {
    bytes += std::min(end, range->end) - std::max(begin, range->begin);
  }
  return bytes;
}

uint64_t KnownBadAreas::SectorsBefore(uint64_t sector, uint64_t count,
                                      uint32_t sector_bytes) const {
  const std::optional<ByteRange> area = NextAfter(sector * sector_bytes);
  if (!area) return count;
  const uint64_t touched = area->begin / sector_bytes;
  return touched <= sector ? 0 : std::min(count, touched - sector);
}

uint64_t KnownBadAreas::SectorsTouching(uint64_t sector, uint64_t count,
                                        uint32_t sector_bytes) const {
  uint64_t at = sector;
  while (at - sector < count) {
    const std::optional<ByteRange> area = NextAfter(at * sector_bytes);
    if (!area || area->begin >= (at + 1) * sector_bytes) break;
    at = (area->end + sector_bytes - 1) / sector_bytes;
  }
  return std::min(count, at - sector);
}

std::shared_ptr<const KnownBadAreas> KnownBadAreasOfImage(const std::filesystem::path& image_path) {
  std::string text;
  if (!platform::ReadWholeFile(MapfilePath(image_path), &text).ok()) return nullptr;
  RescueMap map;
  RescueStatus status;
  // A map of another size still tells about the bytes it covers; bytes it
  // does not cover are taken as they are.
  if (!ParseMapfileExtent(text, &map, &status).ok()) return nullptr;
  std::vector<ByteRange> ranges;
  for (const MapBlock& block : map.Blocks()) {
    if (block.status == BlockStatus::kFinished) continue;
    if (!ranges.empty() && ranges.back().end == block.begin) {
      ranges.back().end = block.end;
    } else {
      ranges.push_back({block.begin, block.end});
    }
  }
  if (ranges.empty()) return nullptr;
  return std::make_shared<const KnownBadAreas>(std::move(ranges));
}

}  // namespace vexlo
