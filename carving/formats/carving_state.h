// The state that carving keeps between sectors, owned by one carving engine.
//
// Identification hands header tests and length rules only the parts they
// use (header_probe.h, length_search.h); the state holds them together:
// - the medium: source, sector size, sectors in memory, buffers;
// - the progress plumbing of length searches;
// - the stream history of the scan;
// - the tests that end every carved file (file-system metadata) and that
//   tell which sectors another handler of the walk takes;
// - the trail of the last length search, from which the walk learns how far
//   it may skip.
// Used by one thread at a time; not locked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_medium.h"
#include "carving/formats/search_progress.h"
#include "carving/formats/stream_history.h"
#include "storage/sector_io.h"

namespace vexlo::carving {

// Tells whether a sector holds file-system structures, where every carved
// file ends at the latest. Injected by the carving engine, which knows the
// file systems; none means no sector counts as metadata.
using MetadataTest = bool (*)(const uint8_t* sector, std::size_t length);

// What the last length search already looked at, so that the walk over the
// medium need not look again. Sectors from just after the file start up to
// clear_end() (excluded) were examined by the next-start scan under start
// tests at least as lenient as the walk's own, none starts a file, none is
// file-system metadata and none belongs to another handler of the walk: the
// walk would have found nothing there.
class SearchTrail {
 public:
  // A file begins: nothing behind it is vouched for yet, and nothing will be
  // unless the start tests are `lenient` (StreamHistory::StartTestsLenient).
  void Start(uint64_t file_start, bool lenient) {
    file_start_ = file_start;
    clear_end_ = file_start + 1;
    extending_ = lenient;
  }
  void Clear() { *this = SearchTrail(); }

  // Whether the scan's verdict on `sector` decides how far the trail goes:
  // every sector before it was vouched for.
  bool Reaches(uint64_t sector) const { return extending_ && clear_end_ == sector; }
  // The verdict on the sector that Reaches: it starts nothing, and the walk
  // would have found nothing there either when `vouched`.
  void Extend(uint64_t sector, bool vouched) {
    extending_ = vouched;
    if (vouched) clear_end_ = sector + 1;
  }

  uint64_t file_start() const { return file_start_; }
  uint64_t clear_end() const { return clear_end_; }

 private:
  uint64_t file_start_ = 0;
  uint64_t clear_end_ = 0;
  bool extending_ = false;
};

class CarvingState {
 public:
  CarvingMedium& medium() { return medium_; }
  SearchProgress& progress() { return progress_; }
  StreamHistory& streams() { return streams_; }
  const StreamHistory& streams() const { return streams_; }

  void SetMetadataTest(MetadataTest test) { metadata_test_ = test; }
  // Tells the length searches which sectors the walk over the medium gives
  // to a handler other than carving (the formatted-recovery driver's
  // router); none when carving sees every sector. Asked only about sectors
  // that the metadata test refused, so it need not repeat that test's work.
  void SetHandledElsewhere(MetadataTest test) { handled_elsewhere_ = test; }
  bool IsMetadata(const uint8_t* sector, std::size_t length) const {
    return metadata_test_ != nullptr && metadata_test_(sector, length);
  }
  bool IsHandledElsewhere(const uint8_t* sector, std::size_t length) const {
    return handled_elsewhere_ != nullptr && handled_elsewhere_(sector, length);
  }

  // Readies the state to identify what starts at a sector of `source`:
  // false, with nothing changed, when carving cannot use `sector_bytes`.
  // Forgets the last search's trail and chunk; progress reports start from
  // `point`.
  [[nodiscard]] bool BeginIdentification(DiskHandle* source, uint32_t sector_bytes,
                                         const ProgressPoint& point, uint64_t found_count) {
    if (!medium_.SetSectorBytes(sector_bytes)) return false;
    medium_.SetSource(source);
    medium_.ForgetSearched();
    trail_.Clear();
    progress_.Begin(point, found_count);
    return true;
  }

  const SearchTrail& trail() const { return trail_; }

  // Where a walk over the medium goes on after a file was carved at
  // `sector_number` with `skip_count` sectors: behind the file, or behind
  // the stretch its length search cleared, with the stream history as the
  // identifications that found nothing there would have left it.
  uint64_t ResumeSector(uint64_t sector_number, uint64_t skip_count);

  // Empties the per-scan history (transport streams, flags, the trail).
  void ResetForScan();

 private:
  // A file's measure starts and extends the trail.
  friend class FileMeasure;

  CarvingMedium medium_;
  SearchProgress progress_;
  StreamHistory streams_;
  MetadataTest metadata_test_ = nullptr;
  MetadataTest handled_elsewhere_ = nullptr;
  SearchTrail trail_;
};

}  // namespace vexlo::carving
