#include "storage/rescue_phases.h"

#include <algorithm>
#include <optional>

namespace vexlo {
namespace {

// The first skip after trouble in the copying phase, and its growth.
constexpr uint64_t kMinInitialSkipBytes = 64 * 1024;
constexpr uint64_t kInitialSkipDivisor = 100000;  // of the domain
constexpr uint64_t kMaxSkipDivisor = 100;         // of the domain

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

// How far the copying phase jumps after a failed or slow read.
class Skip {
 public:
  Skip(uint64_t domain_bytes, uint32_t sector_bytes)
      : initial_(RoundUp(std::max(kMinInitialSkipBytes, domain_bytes / kInitialSkipDivisor),
                         sector_bytes)),
        max_(std::max(initial_, RoundUp(domain_bytes / kMaxSkipDivisor, sector_bytes))),
        current_(initial_) {}

  // The distance to jump now; the next one is twice as far.
  uint64_t Take() {
    const uint64_t distance = current_;
    current_ = std::min(max_, current_ * 2);
    return distance;
  }
  void Reset() { current_ = initial_; }
  // No trouble since the last good read.
  bool calm() const { return current_ == initial_; }

 private:
  uint64_t initial_;
  uint64_t max_;
  uint64_t current_;
};

// Reads the block of a copying pass and marks what failed non-trimmed: only
// the piece that failed when `keep_rest_untried` (the rest is left to the
// later passes, which read it from its other end, in large reads), else
// everything from the failure to the end of the block. Returns whether there
// was trouble (a failure or a slow read), or nothing when the session
// stopped.
std::optional<bool> CopyBlock(RescueSession& session, uint64_t begin, uint64_t end,
                              bool keep_rest_untried) {
  ReadOutcome outcome;
  if (!session.Read(begin, end - begin, &outcome)) return std::nullopt;
  const uint64_t failed_at = begin + outcome.good_bytes;
  if (failed_at < end) {
    const uint64_t failed_end =
        keep_rest_untried ? std::min(end, failed_at + kRescuePieceBytes) : end;
    session.map().Set(failed_at, failed_end, BlockStatus::kNonTrimmed);
  }
  return failed_at < end || outcome.slow;
}

// Passes 1 (`skip` given) and 3 (without skipping).
bool ForwardCopyPass(RescueSession& session, uint64_t position, Skip* skip) {
  while (const auto block = session.map().NextBlock(position, BlockStatus::kNonTried)) {
    const uint64_t end = block->begin + std::min(kRescueBlockBytes, block->size());
    // The first failure after good reads may be a lone bad spot: only its
    // piece waits for trimming. Inside a bad area, the whole rest does.
    const std::optional<bool> trouble =
        CopyBlock(session, block->begin, end, skip != nullptr && skip->calm());
    if (!trouble) return false;
    position = end;
    if (skip != nullptr && *trouble) {
      position += skip->Take();
    } else if (skip != nullptr) {
      skip->Reset();
    }
    session.set_position(position);
  }
  return true;
}

// Pass 2: backwards; the status position is the end of the next block.
bool BackwardCopyPass(RescueSession& session, uint64_t position, Skip& skip) {
  while (const auto block = session.map().PreviousBlock(position, BlockStatus::kNonTried)) {
    const uint64_t begin = block->end - std::min(kRescueBlockBytes, block->size());
    const std::optional<bool> trouble = CopyBlock(session, begin, block->end, false);
    if (!trouble) return false;
    position = begin;
    if (*trouble) {
      position -= std::min(position, skip.Take());
    } else {
      skip.Reset();
    }
    session.set_position(position);
  }
  return true;
}

bool HasWork(RescueSession& session, BlockStatus status) {
  return session.map().NextBlock(0, status).has_value();
}

bool RunCopying(RescueSession& session, const RescueStatus& resume) {
  if (!HasWork(session, BlockStatus::kNonTried)) return true;
  const uint64_t domain = session.map().domain_bytes();
  const uint32_t sector = session.sector_bytes();
  // A copy stopped in this phase goes on in the same pass at the same place;
  // what its earlier passes skipped is left to the later ones. The last
  // pass always sweeps the whole domain, so nothing stays untried whatever
  // a map from elsewhere said.
  const bool resuming =
      resume.phase == RescuePhase::kCopying && resume.pass >= 1 && resume.pass <= 3;
  const uint32_t first_pass = resuming ? resume.pass : 1;
  for (uint32_t pass = first_pass; pass <= 3; ++pass) {
    if (pass != first_pass && !HasWork(session, BlockStatus::kNonTried)) break;
    uint64_t position = pass == 2 ? domain : 0;
    if (resuming && pass == first_pass && pass != 3) {
      position = resume.position - resume.position % sector;
    }
    session.Enter(RescuePhase::kCopying, pass, position);
    Skip skip(domain, sector);
    const bool ok = pass == 1   ? ForwardCopyPass(session, position, &skip)
                    : pass == 2 ? BackwardCopyPass(session, position, skip)
                                : ForwardCopyPass(session, position, nullptr);
    if (!ok) return false;
  }
  return true;
}

// Reads one sector; a failure marks it bad. Returns whether it was good, or
// nothing when the session stopped.
std::optional<bool> ReadSector(RescueSession& session, uint64_t begin) {
  ReadOutcome outcome;
  if (!session.Read(begin, session.sector_bytes(), &outcome)) return std::nullopt;
  if (outcome.good_bytes != 0) return true;
  session.map().Set(begin, begin + session.sector_bytes(), BlockStatus::kBadSector);
  return false;
}

bool RunTrimming(RescueSession& session) {
  if (!HasWork(session, BlockStatus::kNonTrimmed)) return true;
  RescueMap& map = session.map();
  const uint32_t sector = session.sector_bytes();
  session.Enter(RescuePhase::kTrimming, 1, 0);
  uint64_t position = 0;
  while (const auto block = map.NextBlock(position, BlockStatus::kNonTrimmed)) {
    uint64_t begin = block->begin;
    uint64_t end = block->end;
    session.set_position(begin);
    if (begin == 0 || map.StatusAt(begin - sector) != BlockStatus::kBadSector) {
      while (begin < end) {
        const std::optional<bool> good = ReadSector(session, begin);
        if (!good) return false;
        begin += sector;
        if (!*good) break;
      }
    }
    if (begin < end &&
        (end == map.domain_bytes() || map.StatusAt(end) != BlockStatus::kBadSector)) {
      while (end > begin) {
        const std::optional<bool> good = ReadSector(session, end - sector);
        if (!good) return false;
        end -= sector;
        if (!*good) break;
      }
    }
    map.Set(begin, end, BlockStatus::kNonScraped);
    position = block->end;
  }
  return true;
}

bool RunScraping(RescueSession& session) {
  if (!HasWork(session, BlockStatus::kNonScraped)) return true;
  session.Enter(RescuePhase::kScraping, 1, 0);
  uint64_t position = 0;
  while (const auto block = session.map().NextBlock(position, BlockStatus::kNonScraped)) {
    session.set_position(block->begin);
    if (!ReadSector(session, block->begin)) return false;
    position = block->begin + session.sector_bytes();
  }
  return true;
}

void RunRetrying(RescueSession& session, uint32_t passes) {
  RescueMap& map = session.map();
  const uint32_t sector = session.sector_bytes();
  for (uint32_t pass = 1; pass <= passes && HasWork(session, BlockStatus::kBadSector); ++pass) {
    const bool backwards = pass % 2 == 1;
    uint64_t position = backwards ? map.domain_bytes() : 0;
    session.Enter(RescuePhase::kRetrying, pass, position);
    for (;;) {
      const auto block = backwards ? map.PreviousBlock(position, BlockStatus::kBadSector)
                                   : map.NextBlock(position, BlockStatus::kBadSector);
      if (!block) break;
      const uint64_t at = backwards ? block->end - sector : block->begin;
      if (!ReadSector(session, at)) return;
      position = backwards ? at : at + sector;
      session.set_position(position);
    }
  }
}

}  // namespace

void RunRescuePhases(RescueSession& session, const RescueStatus& resume, uint32_t retry_passes) {
  if (RunCopying(session, resume) && RunTrimming(session) && RunScraping(session)) {
    RunRetrying(session, retry_passes);
  }
}

}  // namespace vexlo
