#include "carving/formats/marker_search.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vexlo::carving {
namespace {

// Candidate starts compared at once: one vector register on every target
// that has 16-byte vectors (SSE2 on x86-64, NEON), plain words elsewhere.
constexpr std::size_t kLanes = 16;
using Lanes = uint8_t __attribute__((vector_size(kLanes)));
// Candidate starts looked at per step: four vectors, one test and branch.
constexpr std::size_t kBlock = 4 * kLanes;

Lanes Load(const uint8_t* p) {
  Lanes lanes;
  std::memcpy(&lanes, p, kLanes);
  return lanes;
}

// `mask`: a comparison's result, all ones in the lanes where it holds.
template <class Mask>
bool AnyLane(const Mask& mask) {
  uint64_t words[kLanes / 8];
  std::memcpy(words, &mask, kLanes);
  return (words[0] | words[1]) != 0;
}

// The marker as the searches need it; n >= 2.
struct Pattern {
  explicit Pattern(std::string_view marker)
      : text(marker.data()),
        n(marker.size()),
        first(static_cast<uint8_t>(marker.front())),
        last(static_cast<uint8_t>(marker.back())),
        first_lanes(Lanes{} + first),
        last_lanes(Lanes{} + last) {}

  // Lanes whose candidate start (p + lane) has the first and the last byte
  // in place. Reads [p, p + kLanes + n - 1).
  auto Hits(const uint8_t* p) const {
    return (Load(p) == first_lanes) & (Load(p + n - 1) == last_lanes);
  }
  // Whether any of the kBlock starts from p may hold the marker.
  bool BlockMayHold(const uint8_t* p) const {
    return AnyLane((Hits(p) | Hits(p + kLanes)) | (Hits(p + 2 * kLanes) | Hits(p + 3 * kLanes)));
  }
  bool At(const uint8_t* p) const {
    return p[0] == first && p[n - 1] == last && std::memcmp(p, text, n) == 0;
  }

  const char* text;
  std::size_t n;
  uint8_t first;
  uint8_t last;
  Lanes first_lanes;
  Lanes last_lanes;
};

// Possible starts of a marker of n bytes in [begin, end): [begin, stop).
bool Starts(const uint8_t* begin, const uint8_t* end, std::size_t n, const uint8_t** stop) {
  if (n == 0 || end < begin || static_cast<std::size_t>(end - begin) < n) return false;
  *stop = end - n + 1;
  return true;
}

}  // namespace

const uint8_t* FindMarker(const uint8_t* begin, const uint8_t* end, std::string_view marker) {
  const uint8_t* stop = nullptr;
  if (!Starts(begin, end, marker.size(), &stop)) return nullptr;
  if (marker.size() == 1) {
    return static_cast<const uint8_t*>(
        std::memchr(begin, marker[0], static_cast<std::size_t>(end - begin)));
  }
  const Pattern pattern(marker);
  const uint8_t* p = begin;
  for (; static_cast<std::size_t>(stop - p) >= kBlock; p += kBlock) {
    if (!pattern.BlockMayHold(p)) continue;
    for (std::size_t i = 0; i < kBlock; ++i) {
      if (pattern.At(p + i)) return p + i;
    }
  }
  for (; p < stop; ++p) {
    if (pattern.At(p)) return p;
  }
  return nullptr;
}

const uint8_t* FindLastMarker(const uint8_t* begin, const uint8_t* end, std::string_view marker) {
  const uint8_t* stop = nullptr;
  if (!Starts(begin, end, marker.size(), &stop)) return nullptr;
  if (marker.size() == 1) {
    return static_cast<const uint8_t*>(
        memrchr(begin, marker[0], static_cast<std::size_t>(end - begin)));
  }
  const Pattern pattern(marker);
  const uint8_t* top = stop;  // starts below it are still to be looked at
  for (; static_cast<std::size_t>(top - begin) >= kBlock; top -= kBlock) {
    const uint8_t* const p = top - kBlock;
    if (!pattern.BlockMayHold(p)) continue;
    for (std::size_t i = kBlock; i-- > 0;) {
      if (pattern.At(p + i)) return p + i;
    }
  }
  while (top > begin) {
    --top;
    if (pattern.At(top)) return top;
  }
  return nullptr;
}

const uint8_t* FindMarkerPlain(const uint8_t* begin, const uint8_t* end, std::string_view marker) {
  if (marker.empty() || end < begin) return nullptr;
  const auto* m = reinterpret_cast<const uint8_t*>(marker.data());
  const uint8_t* p = std::search(begin, end, m, m + marker.size());
  return p == end ? nullptr : p;
}

const uint8_t* FindLastMarkerPlain(const uint8_t* begin, const uint8_t* end,
                                   std::string_view marker) {
  if (marker.empty() || end < begin) return nullptr;
  const auto* m = reinterpret_cast<const uint8_t*>(marker.data());
  const uint8_t* p = std::find_end(begin, end, m, m + marker.size());
  return p == end ? nullptr : p;
}

}  // namespace vexlo::carving
