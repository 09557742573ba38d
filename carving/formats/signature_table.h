// The signature table and the walks over it.
//
// The table lists every known format in a fixed order; the first row whose
// header test answers a code decides what starts at a sector. Aliases are
// rows of their own (the first row with a code names the carved extension),
// and the table ends with a row of code kNoMatch.
//
// Identification does not call all tests on every sector: the rows are
// sorted once into 256 buckets by the first byte of the signature bytes
// their tests require (their keys), keeping table order inside each bucket,
// and a sector that holds none of its bucket's keys is passed over after a
// few word comparisons. WalkTablePlain is the reference walk over every row;
// the two must always agree (a differential test checks it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "carving/formats/carving_state.h"
#include "carving/formats/header_probe.h"
#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

// Every row in order, the end row included.
std::span<const SignatureEntry> SignatureTable();

struct WalkResult {
  int32_t type_code = 49;               // code::kNoMatch when nothing matched
  const SignatureEntry* row = nullptr;  // the row at which the walk stopped
  bool ignored_seen = false;            // a test answered the ignored code
};

// First row whose test answers a code other than kNoMatch and `ignored_code`.
WalkResult WalkTable(const HeaderProbe& probe, const uint8_t* sector, std::size_t length,
                     int32_t ignored_code = 49);
WalkResult WalkTablePlain(const HeaderProbe& probe, const uint8_t* sector, std::size_t length,
                          int32_t ignored_code = 49);

// The first row with `type_code`, or null.
const SignatureEntry* FirstRowWithCode(int32_t type_code);

// Whether `sector` (the first sector of a file the file-system engines
// found) matches the format that `extension` names. True when no row has
// that extension, or when carving cannot read sectors of `sector_bytes`
// (nothing to test). Leaves continuity unchecked in the stream history.
bool CheckTypeByExtension(CarvingState& state, const uint8_t* sector, std::size_t length,
                          std::string_view extension, DiskHandle* source, uint32_t sector_bytes,
                          uint64_t sector_number);

}  // namespace vexlo::carving
