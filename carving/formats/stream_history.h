// What carving remembers of the transport streams it carved.
//
// A transport stream has no header of its own, so any sector of one looks
// like a new stream. While the previous identification found nothing or a
// stream, a candidate must not continue a stream that began earlier: it must
// not lie inside a stream already carved. The history keeps those streams
// for the whole scan, and two flags that the last identification left:
// whether continuity is checked, and whether it found an "mts" file (after
// which an "mts" candidate must begin with zero bytes).
#pragma once

#include <cstdint>
#include <vector>

namespace vexlo::carving {

// Inclusive range of sectors that a carved transport stream covers.
struct SectorRange {
  uint64_t first;
  uint64_t last;
};

class StreamHistory {
 public:
  // Whether transport-stream candidates are checked for continuity.
  bool checks_continuation() const { return checks_continuation_; }
  // Whether the last identification found an "mts" file.
  bool after_mts() const { return after_mts_; }

  // The two flags together: what an identification depends on besides the
  // streams, so that it can be repeated (a scan cancelled while measuring a
  // file measures it again when continued).
  struct Flags {
    bool checks_continuation = true;
    bool after_mts = false;
  };
  Flags flags() const { return {checks_continuation_, after_mts_}; }
  void RestoreFlags(const Flags& flags) {
    checks_continuation_ = flags.checks_continuation;
    after_mts_ = flags.after_mts;
  }

  // Whether `sector` lies inside a transport stream carved in this scan.
  bool InsideCarvedStream(uint64_t sector) const;
  // Whether a transport stream carved in this scan ended right before
  // `sector`: its length rule saw another stream start there.
  bool CarvedStreamEndsBefore(uint64_t sector) const;

  // Whether the start tests that depend on the history accept, in a
  // next-start scan of the file starting at `file_start`, everything they
  // would accept at a later identification of a sector behind that file.
  bool StartTestsLenient(uint64_t file_start) const;

  // The table walk of an identification found nothing to carve: as at the
  // start of a scan, continuity is checked and no "mts" file was found.
  void NothingFound();
  // It found a file of `type_code`, to be carved.
  void FileFound(int32_t type_code);
  // A file's content is tested against its extension alone, where no
  // earlier stream can matter.
  void StopCheckingContinuation() { checks_continuation_ = false; }
  // A transport stream was carved over these sectors.
  void AddStream(const SectorRange& range) { streams_.push_back(range); }

  // Forgets the streams and flags of an earlier scan.
  void Reset();

 private:
  bool checks_continuation_ = true;
  bool after_mts_ = false;
  std::vector<SectorRange> streams_;
};

}  // namespace vexlo::carving
