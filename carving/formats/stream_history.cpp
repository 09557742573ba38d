#include "carving/formats/stream_history.h"

#include <algorithm>

#include "carving/formats/type_codes.h"

namespace vexlo::carving {

bool StreamHistory::InsideCarvedStream(uint64_t sector) const {
  return std::any_of(streams_.begin(), streams_.end(), [&](const SectorRange& range) {
    return range.first <= sector && sector <= range.last;
  });
}

bool StreamHistory::CarvedStreamEndsBefore(uint64_t sector) const {
  return std::any_of(streams_.begin(), streams_.end(),
                     [&](const SectorRange& range) { return range.last + 1 == sector; });
}

bool StreamHistory::StartTestsLenient(uint64_t file_start) const {
  // A later identification tests continuity with the flag set and its own
  // start against the carved streams (never inside the one just measured),
  // and with the "mts" flag clear.
  return !after_mts_ && (!checks_continuation_ || !InsideCarvedStream(file_start));
}

void StreamHistory::NothingFound() {
  checks_continuation_ = true;
  after_mts_ = false;
}

void StreamHistory::FileFound(int32_t type_code) {
  checks_continuation_ =
      type_code == code::kTs || type_code == code::kMts || type_code == code::kM2ts;
  after_mts_ = type_code == code::kMts;
}

void StreamHistory::Reset() {
  streams_.clear();
  NothingFound();
}

}  // namespace vexlo::carving
