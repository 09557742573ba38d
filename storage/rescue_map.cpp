#include "storage/rescue_map.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace vexlo {

bool IsBlockStatus(char letter) {
  return std::ranges::find(kBlockStatusOrder, static_cast<BlockStatus>(letter)) !=
         kBlockStatusOrder.end();
}

bool IsFailed(BlockStatus status) {
  return status == BlockStatus::kNonTrimmed || status == BlockStatus::kNonScraped ||
         status == BlockStatus::kBadSector;
}

int StatusRank(BlockStatus status) {
  return static_cast<int>(std::ranges::find(kBlockStatusOrder, status) - kBlockStatusOrder.begin());
}

RescueMap::RescueMap(uint64_t domain_bytes) : domain_bytes_(domain_bytes) {
  if (domain_bytes_ != 0) extents_.emplace(0, Extent{domain_bytes_, BlockStatus::kNonTried});
}

void RescueMap::SplitAt(uint64_t position) {
  if (position >= domain_bytes_) return;
  auto it = std::prev(extents_.upper_bound(position));
  if (it->first == position) return;
  const Extent tail = it->second;
  it->second.end = position;
  extents_.emplace_hint(std::next(it), position, tail);
}

void RescueMap::MergeAround(Extents::iterator it) {
  if (it != extents_.begin()) {
    auto before = std::prev(it);
    if (before->second.status == it->second.status) {
      before->second.end = it->second.end;
      extents_.erase(it);
      it = before;
    }
  }
  auto after = std::next(it);
  if (after != extents_.end() && after->second.status == it->second.status) {
    it->second.end = after->second.end;
    extents_.erase(after);
  }
}

void RescueMap::Set(uint64_t begin, uint64_t end, BlockStatus status) {
  end = std::min(end, domain_bytes_);
  if (begin >= end) return;
  SplitAt(begin);
  SplitAt(end);
  auto first = extents_.find(begin);
  extents_.erase(std::next(first), extents_.lower_bound(end));
  first->second = {end, status};
  MergeAround(first);
}

BlockStatus RescueMap::StatusAt(uint64_t position) const {
  if (position >= domain_bytes_) return BlockStatus::kNonTried;
  return std::prev(extents_.upper_bound(position))->second.status;
}

std::optional<MapBlock> RescueMap::NextBlock(uint64_t position, BlockStatus status) const {
  if (position >= domain_bytes_) return std::nullopt;
  for (auto it = std::prev(extents_.upper_bound(position)); it != extents_.end(); ++it) {
    if (it->second.status == status) {
      return MapBlock{std::max(it->first, position), it->second.end, status};
    }
  }
  return std::nullopt;
}

std::optional<MapBlock> RescueMap::PreviousBlock(uint64_t position, BlockStatus status) const {
  auto it = extents_.lower_bound(std::min(position, domain_bytes_));
  while (it != extents_.begin()) {
    --it;
    if (it->second.status == status) {
      return MapBlock{it->first, std::min(it->second.end, position), status};
    }
  }
  return std::nullopt;
}

void RescueMap::AlignToSectors(uint32_t sector_bytes) {
  if (sector_bytes <= 1) return;
  std::vector<uint64_t> unaligned;
  for (const auto& [begin, extent] : extents_) {
    if (begin % sector_bytes != 0) unaligned.push_back(begin);
  }
  for (const uint64_t boundary : unaligned) {
    const uint64_t sector = boundary - boundary % sector_bytes;
    const uint64_t sector_end = std::min(sector + sector_bytes, domain_bytes_);
    BlockStatus least = BlockStatus::kFinished;
    for (auto it = std::prev(extents_.upper_bound(sector));
         it != extents_.end() && it->first < sector_end; ++it) {
      if (it->second.status != BlockStatus::kFinished &&
          (least == BlockStatus::kFinished || StatusRank(it->second.status) < StatusRank(least))) {
        least = it->second.status;
      }
    }
    Set(sector, sector_end, least);
  }
}

std::vector<MapBlock> RescueMap::Blocks() const {
  std::vector<MapBlock> blocks;
  blocks.reserve(extents_.size());
  for (const auto& [begin, extent] : extents_) blocks.push_back({begin, extent.end, extent.status});
  return blocks;
}

namespace {
// The sum of each status, in kBlockStatusOrder.
constexpr std::array<uint64_t MapTotals::*, kBlockStatusOrder.size()> kTotalOf = {
    &MapTotals::non_tried, &MapTotals::non_trimmed, &MapTotals::non_scraped, &MapTotals::bad_sector,
    &MapTotals::finished};
}  // namespace

MapTotals RescueMap::Totals() const {
  MapTotals totals;
  bool in_bad_area = false;
  for (const auto& [begin, extent] : extents_) {
    totals.*kTotalOf[static_cast<std::size_t>(StatusRank(extent.status))] += extent.end - begin;
    const bool failed = IsFailed(extent.status);
    if (failed && !in_bad_area) ++totals.bad_areas;
    in_bad_area = failed;
  }
  return totals;
}

}  // namespace vexlo
