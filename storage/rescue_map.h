// What is known about every byte of a medium being imaged: not tried yet,
// failed in a large read and not trimmed, trimmed but not scraped, a bad
// sector, or copied. The same five states, with the same letters, as the
// mapfiles of GNU ddrescue, so that maps pass between the two programs.
//
// The map covers the rescue domain [0, domain_bytes) with contiguous,
// non-overlapping blocks; neighbours of equal status are always merged, so
// the number of blocks grows with the number of distinct areas, not with the
// size of the medium. Positions are bytes of the image (byte 0 is the
// copy's first source sector).
//
// A map is used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vexlo {

// Each phase of a copy works on the bytes of one status and leaves them with
// a later one; the values are the mapfile's letters.
enum class BlockStatus : char {
  kNonTried = '?',
  kNonTrimmed = '*',
  kNonScraped = '/',
  kBadSector = '-',
  kFinished = '+',
};

// The statuses in the order a rescue advances a byte through them.
inline constexpr std::array<BlockStatus, 5> kBlockStatusOrder = {
    BlockStatus::kNonTried, BlockStatus::kNonTrimmed, BlockStatus::kNonScraped,
    BlockStatus::kBadSector, BlockStatus::kFinished};

// True for the letters of the statuses.
bool IsBlockStatus(char letter);

// The place of `status` in kBlockStatusOrder: 0 for non-tried, 4 for finished.
int StatusRank(BlockStatus status);

// Tried and not copied: non-trimmed, non-scraped or a bad sector.
bool IsFailed(BlockStatus status);

struct MapBlock {
  uint64_t begin = 0;
  uint64_t end = 0;
  BlockStatus status = BlockStatus::kNonTried;

  uint64_t size() const { return end - begin; }
  bool operator==(const MapBlock&) const = default;
};

struct MapTotals {
  uint64_t non_tried = 0;
  uint64_t non_trimmed = 0;
  uint64_t non_scraped = 0;
  uint64_t bad_sector = 0;
  uint64_t finished = 0;
  // Separate stretches of failed bytes (see IsFailed).
  uint64_t bad_areas = 0;

  // Tried and not copied: what is known to be unreadable so far.
  uint64_t failed() const { return non_trimmed + non_scraped + bad_sector; }
  // Nothing more will be learnt about these bytes without retries.
  uint64_t settled() const { return finished + bad_sector; }
};

class RescueMap {
 public:
  // One non-tried block over the whole domain (none for an empty one).
  explicit RescueMap(uint64_t domain_bytes = 0);

  uint64_t domain_bytes() const { return domain_bytes_; }

  // Gives [begin, end) the status; the range is clipped to the domain.
  void Set(uint64_t begin, uint64_t end, BlockStatus status);

  // The status of the byte at `position` (inside the domain).
  BlockStatus StatusAt(uint64_t position) const;

  // The first block of `status` that ends after `position`, its start moved
  // up to `position` when it begins before.
  std::optional<MapBlock> NextBlock(uint64_t position, BlockStatus status) const;

  // The last block of `status` that begins before `position`, its end moved
  // down to `position` when it ends after.
  std::optional<MapBlock> PreviousBlock(uint64_t position, BlockStatus status) const;

  // Gives each sector that holds a block boundary the least advanced status
  // of its parts (a finished part only counts when the whole sector is
  // finished), so that every later read is of whole sectors and no part of
  // a sector is taken for copied while another part is not.
  void AlignToSectors(uint32_t sector_bytes);

  std::vector<MapBlock> Blocks() const;
  MapTotals Totals() const;

 private:
  struct Extent {
    uint64_t end;
    BlockStatus status;
  };
  using Extents = std::map<uint64_t, Extent>;

  // Makes `position` the start of a block (inside the domain).
  void SplitAt(uint64_t position);
  void MergeAround(Extents::iterator it);

  uint64_t domain_bytes_;
  Extents extents_;  // keyed by the block's first byte
};

}  // namespace vexlo
