// Byte ranges of a source that hold nothing of the medium: in a disk image,
// the sectors that its copy could not read, or had not read yet when it
// stopped. The image holds zeros there, which a scan must not take for the
// data of a file. The image's map (storage/mapfile.h) says which they are:
// every byte it does not call finished.
//
// Immutable once built; shared by every handle opened on the same image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace vexlo {

struct ByteRange {
  uint64_t begin = 0;
  uint64_t end = 0;

  bool operator==(const ByteRange&) const = default;
};

class KnownBadAreas {
 public:
  // `ranges` sorted, disjoint and not empty each.
  explicit KnownBadAreas(std::vector<ByteRange> ranges) : ranges_(std::move(ranges)) {}

  // The first area that ends after `byte_offset`.
  std::optional<ByteRange> NextAfter(uint64_t byte_offset) const;

  // How many bytes of [begin, end) lie in an area.
  uint64_t BytesIn(uint64_t begin, uint64_t end) const;

  // Of the `count` sectors of `sector_bytes` from `sector`: how many come
  // before the first that touches an area, and how many in a row, from the
  // first on, touch one.
  uint64_t SectorsBefore(uint64_t sector, uint64_t count, uint32_t sector_bytes) const;
  uint64_t SectorsTouching(uint64_t sector, uint64_t count, uint32_t sector_bytes) const;

  const std::vector<ByteRange>& ranges() const { return ranges_; }

 private:
  std::vector<ByteRange> ranges_;
};

// The areas of an image as its map "<image>.map" tells them; none when
// there is no map, or none that can be read.
std::shared_ptr<const KnownBadAreas> KnownBadAreasOfImage(const std::filesystem::path& image_path);

}  // namespace vexlo
