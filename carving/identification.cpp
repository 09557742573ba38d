#include "carving/identification.h"

#include <cinttypes>
#include <cstdio>

#include "carving/formats/length_search.h"
#include "carving/formats/signature_table.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {

ErrorCode IdentifyAtSector(CarvingState& state, uint32_t sector_bytes, DiskHandle* source,
                           const uint8_t* sector, std::size_t length, uint64_t sector_number,
                           const ProgressPoint& progress, uint64_t found_count,
                           Identification* out) {
  if (!state.BeginIdentification(source, sector_bytes, progress, found_count)) {
    return err::kInvalidParameter;
  }
  StreamHistory& streams = state.streams();
  const HeaderProbe probe(state.medium(), streams, sector_number, sector_number);
  const WalkResult walk = WalkTable(probe, sector, length);
  streams.NothingFound();
  if (walk.type_code == code::kNoMatch || walk.row->finder == nullptr)
    return err::kInvalidParameter;
  const SignatureEntry* row = FirstRowWithCode(walk.type_code);
  if (row == nullptr || row->finder == nullptr) return err::kInvalidParameter;
  streams.FileFound(walk.type_code);

  std::snprintf(out->name, sizeof(out->name), "%" PRIu64 ".%s", sector_number, row->extension);
  out->type_code = walk.type_code;
  FileMeasure file(state, sector_number);
  out->length_bytes = row->finder(file, sector, length);
  out->damaged = file.damaged();
  return state.progress().cancelled() ? ErrorCode(kCancelCode) : ErrorCode(err::kSuccess);
}

}  // namespace vexlo::carving
