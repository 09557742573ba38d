// The context that identification, header tests and length rules share.
//
// Header tests and length rules are plain functions of a sector buffer; what
// else they need (the medium, the sector being examined, progress, the
// transport-stream history, the work buffers) lives here. One CarvingState is
// owned by one carving engine; it is used by one thread at a time and is not
// locked. Its buffers are allocated once, when the state is made, so carving
// allocates nothing per sector or per file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "storage/sector_io.h"

namespace vexlo::carving {

// Largest sector size carving handles; the probe buffer is sized for it.
inline constexpr uint32_t kMaxCarvingSectorBytes = 4096;
// Chunk size of every forward length search.
inline constexpr std::size_t kWorkBufferBytes = 65536;

// Inclusive range of sectors that a carved transport stream covers.
struct SectorRange {
  uint64_t first;
  uint64_t last;
};

// Tells whether a sector holds file-system structures, where every carved
// file ends at the latest. Injected by the carving engine, which knows the
// file systems; none means no sector counts as metadata.
using MetadataTest = bool (*)(const uint8_t* sector, std::size_t length);

// Sectors of the medium that are already in memory.
struct SectorSpan {
  uint64_t first = 0;
  uint64_t count = 0;
  const uint8_t* data = nullptr;  // not owned; count sectors of the state's size

  uint64_t end() const { return first + count; }
  bool Contains(uint64_t sector) const {
    return data != nullptr && sector >= first && sector - first < count;
  }
  // Whether all of the `n` sectors from `sector` are held.
  bool Holds(uint64_t sector, uint64_t n) const { return Contains(sector) && n <= end() - sector; }
  // The bytes of a held sector of `sector_bytes`.
  const uint8_t* At(uint64_t sector, uint32_t sector_bytes) const {
    return data + (sector - first) * sector_bytes;
  }
};

// What the last length search already looked at, so that the walk over the
// medium need not read it again. Sectors from just after the file start up to
// `clear_end` (excluded) were examined by the next-start scan under start
// tests at least as lenient as the walk's own, none starts a file, none is
// file-system metadata and none belongs to another handler of the walk: the
// walk would have found nothing there.
struct SearchTrail {
  uint64_t file_start = 0;
  uint64_t clear_end = 0;
  bool extending = false;  // every sector examined so far was clear
  SectorSpan last_chunk;   // the last chunk the search read
};

struct CarvingState {
  CarvingState();

  uint32_t sector_bytes = 512;
  DiskHandle* source = nullptr;  // the medium being carved; not owned
  // Sector at which the file now being identified begins, and the sector last
  // examined (advanced by every sector a next-start scan looks at).
  uint64_t file_start = 0;
  uint64_t current_sector = 0;

  int32_t progress_scale = 0;
  ScanProgressCallback progress = nullptr;
  void* progress_user = nullptr;
  uint64_t sectors_done = 0;  // the caller's counters at identification
  uint64_t sectors_total = 0;
  int32_t remaining_seconds = -1;
  uint64_t found_count = 0;
  // Last nonzero answer of the progress callback during a length search.
  int32_t callback_result = 0;

  // True after an identification that found nothing or a transport stream:
  // a "ts" candidate must then not continue a stream that began earlier.
  bool stream_continuation = true;
  bool mts_flag = false;  // the previous identification found an "mts" file
  std::vector<SectorRange> transport_stream_ranges;

  MetadataTest metadata_test = nullptr;
  // Tells whether the walk over the medium gives a sector to a handler other
  // than carving (the formatted-recovery driver's router); none when
  // carving sees every sector. Asked only about sectors that metadata_test
  // refused, so it need not repeat that test's work.
  MetadataTest handled_elsewhere = nullptr;

  // The walk's own chunk, served from memory to the length searches and the
  // header tests' extra reads instead of being read again.
  SectorSpan walk_chunk;
  SearchTrail trail;

  // 64 KiB of chunk reads for the length rules.
  std::vector<uint8_t> work_buffer;
  // Extra sectors that header tests read; separate from the work buffer
  // because the tests also run inside a length search over that buffer.
  std::vector<uint8_t> probe_buffer;

  // Sectors of `sector_bytes` on the medium (0 without a source).
  uint64_t MediumSectors() const;

  // Reads `count` sectors from `sector` into `into`; false unless all arrive.
  // Reads past the end of the medium fail without touching the device.
  // Sectors held in memory (the walk's chunk, the search's last chunk) are
  // copied from there.
  bool ReadWhole(uint64_t sector, uint64_t count, uint8_t* into);

  // The `count` sectors from `sector`: a pointer into the walk's chunk when
  // it holds them all, else the work buffer filled from what memory holds
  // and the rest read from the medium. Null when a read fails.
  const uint8_t* ReadChunk(uint64_t sector, uint64_t count);

  // Copies the sectors from `sector` on (at most `max_count`) that the last
  // length search still holds in memory into `into`; returns how many.
  uint64_t TakeSearched(uint64_t sector, uint64_t max_count, uint8_t* into);

  // Whether the start tests that depend on the state (transport-stream
  // continuity, the MTS flag) accept, in a next-start scan now, everything
  // they would accept at a later identification of a sector behind the file.
  bool StartTestsLenient() const;

  // Whether the file start lies inside a transport stream carved earlier.
  bool FileStartInsideCarvedStream() const;

  // Empties the per-scan history (transport streams, flags).
  void ResetForScan();
};

}  // namespace vexlo::carving
