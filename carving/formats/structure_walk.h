// Length rules that follow a format's own structure, with the table's rule
// as the fallback.
//
// A structure is fed the file's bytes in order, the header sector first and
// then each chunk of the forward search, and says whether it has seen the
// end (and where), needs more, or found bytes that break it (overwritten,
// another file, not this format after all). Its table rule runs in the same
// pass over the same chunks, so that a broken or truncated structure costs
// no second read: the file then gets exactly the length the table's rule
// gives it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

enum class StructureVerdict {
  kMore,    // the end lies further on
  kEnd,     // end() is the file's length
  kBroken,  // the bytes do not follow the structure
};

// The state every structure keeps, whatever its format: where in the file
// the next byte fed lies, the bytes it is to step over before the next
// field, and the file's length once it said kEnd. Fields are gathered and
// skipped across pieces of any size, so that no structure needs the file
// whole.
class StructureWalk {
 public:
  uint64_t end() const { return end_; }

 protected:
  // Steps over as much of skip_left_ as the piece holds from `at` (below
  // `size`). True once all of it is behind.
  bool Skip(std::size_t& at, std::size_t size) {
    const std::size_t available = size - at;
    const auto take = static_cast<std::size_t>(skip_left_ < available ? skip_left_ : available);
    skip_left_ -= take;
    at += take;
    offset_ += take;
    return skip_left_ == 0;
  }

  // Copies into `field` as much of the piece from `at` as the field still
  // lacks (it holds `gathered` of `wanted` bytes). True once it is whole.
  bool Gather(uint8_t* field, std::size_t& gathered, std::size_t wanted, const uint8_t* data,
              std::size_t& at, std::size_t size) {
    const std::size_t take = std::min(wanted - gathered, size - at);
    std::memcpy(field + gathered, data + at, take);
    gathered += take;
    at += take;
    offset_ += take;
    return gathered == wanted;
  }

  // The file ends behind the last byte fed.
  StructureVerdict EndHere() {
    end_ = offset_;
    return StructureVerdict::kEnd;
  }

  uint64_t offset_ = 0;  // of the next byte fed
  uint64_t skip_left_ = 0;
  uint64_t end_ = 0;
};

// The rule of a format without an end marker: the file ends where the
// search stopped (the next start, metadata or the cap).
struct NoEndMarkerRule {
  static std::optional<uint64_t> Header(const uint8_t*, std::size_t) { return std::nullopt; }
  static std::optional<uint64_t> OnChunk(const Chunk&) { return std::nullopt; }
  static uint64_t Finish(uint64_t reached) { return reached; }
};

// `Structure`: `StructureVerdict Feed(const uint8_t* data, std::size_t size)`
// with the next bytes of the file, and `uint64_t end()` once it said kEnd
// (a StructureWalk gives it).
// `Rule`, the table's rule split in its steps:
// - `std::optional<uint64_t> Header(const uint8_t* sector, std::size_t size)`:
//   the length, when the header sector decides it;
// - `std::optional<uint64_t> OnChunk(const Chunk&)`: the length, when the
//   rule returns it at once with this chunk;
// - `uint64_t Finish(uint64_t reached)`: the length when the search stopped
//   without either.
template <class Structure, class Rule>
uint64_t StructureFirst(FileMeasure& file, const uint8_t* sector, std::size_t length,
                        uint64_t cap_bytes, Structure& structure, Rule& rule,
                        StartRule start_rule = StartRule::kAnyFormat) {
  const std::size_t header_bytes = length < file.sector_bytes() ? length : file.sector_bytes();
  StructureVerdict verdict = structure.Feed(sector, header_bytes);
  if (verdict == StructureVerdict::kEnd) return structure.end();
  const std::optional<uint64_t> header_end = rule.Header(sector, header_bytes);
  if (header_end && verdict == StructureVerdict::kBroken) return *header_end;
  std::optional<uint64_t> table_end;
  const uint64_t reached = SearchForward(
      file, cap_bytes,
      [&](const Chunk& chunk) -> std::optional<uint64_t> {
        if (verdict == StructureVerdict::kMore) {
          verdict = structure.Feed(chunk.data, chunk.size);
          if (verdict == StructureVerdict::kEnd) return structure.end();
        }
        if (!table_end && !header_end) table_end = rule.OnChunk(chunk);
        // While the structure holds, the search goes on past where the
        // table's rule would stop: an end marker inside the file (a
        // thumbnail's, a chunk's bytes) is no end.
        if (verdict == StructureVerdict::kBroken && (header_end || table_end)) {
          return header_end ? header_end : table_end;
        }
        return std::nullopt;
      },
      start_rule);
  // The table's end may have been found chunks before the structure's.
  if (verdict == StructureVerdict::kEnd) return reached;
  if (header_end) return *header_end;
  if (table_end) return *table_end;
  return rule.Finish(reached);
}

// For formats that want nothing of their structure but the length.
template <class Structure, class Rule>
uint64_t StructureFirst(FileMeasure& file, const uint8_t* sector, std::size_t length,
                        uint64_t cap_bytes, Rule rule) {
  Structure structure;
  return StructureFirst(file, sector, length, cap_bytes, structure, rule);
}

}  // namespace vexlo::carving
