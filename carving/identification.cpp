#include "carving/identification.h"

#include <cinttypes>
#include <cstdio>

#include "carving/formats/signature_table.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {

ErrorCode IdentifyAtSector(CarvingState& state, uint32_t sector_bytes, DiskHandle* source,
                           const uint8_t* sector, std::size_t length, uint64_t sector_number,
                           const ProgressPoint& progress, uint64_t found_count,
                           Identification* out) {
  // Chunks and probes are sized for these sector sizes: powers of two up to
  // the largest, which divide the work buffer (tested without a division,
  // as this runs on every sector).
  static_assert((kWorkBufferBytes & (kWorkBufferBytes - 1)) == 0 &&
                kMaxCarvingSectorBytes <= kWorkBufferBytes);
  if (sector_bytes == 0 || sector_bytes > kMaxCarvingSectorBytes ||
      (sector_bytes & (sector_bytes - 1)) != 0) {
    return err::kInvalidParameter;
  }
  state.sector_bytes = sector_bytes;
  state.source = source;
  state.file_start = sector_number;
  state.current_sector = sector_number;
  state.sectors_done = progress.sectors_done;
  state.sectors_total = progress.sectors_total;
  state.remaining_seconds = progress.remaining_seconds;
  state.found_count = found_count;
  state.trail = {};

  const WalkResult walk = WalkTable(state, sector, length);
  state.stream_continuation = true;
  state.mts_flag = false;
  if (walk.type_code == code::kNoMatch || walk.row->finder == nullptr)
    return err::kInvalidParameter;
  const SignatureEntry* row = FirstRowWithCode(walk.type_code);
  if (row == nullptr || row->finder == nullptr) return err::kInvalidParameter;
  if (walk.type_code != code::kTs) state.stream_continuation = false;
  if (walk.type_code == code::kMts) state.mts_flag = true;

  std::snprintf(out->name, sizeof(out->name), "%" PRIu64 ".%s", sector_number, row->extension);
  out->type_code = walk.type_code;
  state.callback_result = 0;
  state.trail = {sector_number, sector_number + 1, state.StartTestsLenient(), {}};
  out->length_bytes = row->finder(state, sector, length);
  return state.callback_result == kCancelCode ? ErrorCode(kCancelCode) : ErrorCode(err::kSuccess);
}

}  // namespace vexlo::carving
