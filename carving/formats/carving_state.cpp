#include "carving/formats/carving_state.h"

namespace vexlo::carving {

CarvingState::CarvingState()
    : work_buffer(kWorkBufferBytes), probe_buffer(4 * kMaxCarvingSectorBytes + 4) {}

uint64_t CarvingState::MediumSectors() const {
  if (source == nullptr || !source->is_open() || sector_bytes == 0) return 0;
  // total_sectors counts the device's own sectors (512-byte units for images).
  const unsigned __int128 bytes =
      static_cast<unsigned __int128>(source->total_sectors) * source->device_sector_bytes;
  return static_cast<uint64_t>(bytes / sector_bytes);
}

bool CarvingState::ReadWhole(uint64_t sector, uint64_t count, uint8_t* into) {
  const uint64_t medium = MediumSectors();
  if (sector >= medium || count > medium - sector) return false;
  uint64_t sectors_read = 0;
  const ErrorCode rc = ReadSectors(count, *source, into, sector, sector_bytes, &sectors_read);
  return rc.ok() && sectors_read == count;
}

void CarvingState::ResetForScan() {
  transport_stream_ranges.clear();
  stream_continuation = true;
  mts_flag = false;
  callback_result = 0;
}

}  // namespace vexlo::carving
