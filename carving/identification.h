// Identification: what file, if any, starts at a sector, and how long it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/carving_state.h"
#include "engine/found_file_record.h"

namespace vexlo::carving {

struct Identification {
  // "<start sector>.<extension>"; written only when a file starts (no
  // clearing per sector).
  char name[kRecordNameBytes];
  int32_t type_code = 49;
  uint64_t length_bytes = 0;
  // The file's own checks (chunk checksums) failed: listed, marked damaged.
  bool damaged = false;
};

// Runs the signature table on `sector` (absolute sector `sector_number` of
// `source`) and, on a hit, measures the file. Returns 0 when a file starts
// here, 87 when none does (or it is a recognised format that is never
// carved), kCancelCode when the progress callback cancelled the length
// search; the file is then still described in *out, with the length reached.
// Length searches report progress from `progress`, the caller's point at
// this sector.
ErrorCode IdentifyAtSector(CarvingState& state, uint32_t sector_bytes, DiskHandle* source,
                           const uint8_t* sector, std::size_t length, uint64_t sector_number,
                           const ProgressPoint& progress, uint64_t found_count,
                           Identification* out);

}  // namespace vexlo::carving
