#include "engine/contiguous_read.h"

#include <algorithm>
#include <span>
#include <vector>

namespace vexlo {
namespace {

constexpr std::size_t kPieceBytes = 65536;

}  // namespace

ErrorCode ReadContiguous(DiskHandle& disk, const ContiguousExtent& extent, uint64_t max_bytes,
                         const RecordDataSink& sink) {
  const uint32_t sector_bytes = extent.sector_bytes;
  if (sector_bytes == 0 || sector_bytes > kPieceBytes) return err::kInvalidParameter;
  const uint64_t bytes_to_take = std::min(extent.size_bytes, max_bytes);
  if (bytes_to_take == 0) return err::kSuccess;
  std::vector<uint8_t> buffer(kPieceBytes);
  uint64_t sectors_left = (bytes_to_take + sector_bytes - 1) / sector_bytes;
  uint64_t position = extent.first_sector;
  uint64_t bytes_done = 0;
  while (sectors_left > 0) {
    const uint64_t count = std::min<uint64_t>(kPieceBytes / sector_bytes, sectors_left);
    uint64_t sectors_read = 0;
    const ErrorCode rc =
        ReadSectors(count, disk, buffer.data(), position, sector_bytes, &sectors_read);
    if (sectors_read > 0) {
      const uint64_t bytes =
          std::min<uint64_t>(sectors_read * sector_bytes, bytes_to_take - bytes_done);
      bytes_done += bytes;
      if (const int32_t answer = sink(std::span<const uint8_t>(buffer.data(), bytes), bytes_done);
          answer != 0) {
        return answer;
      }
    }
    if (!rc.ok()) return rc;
    if (sectors_read == 0) return err::kReadFault;
    position += sectors_read;
    sectors_left -= sectors_read;
  }
  return err::kSuccess;
}

}  // namespace vexlo
