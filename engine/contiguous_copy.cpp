#include "engine/contiguous_copy.h"

#include <algorithm>
#include <span>
#include <system_error>
#include <vector>

#include "platform/file.h"

namespace vexlo {
namespace {

constexpr std::size_t kChunkBytes = 65536;

// Reads `bytes_to_take` bytes of the extent chunk by chunk and hands each to
// `sink(data, bytes, bytes_done_after)`, which returns 0 to go on or the code
// to stop with.
template <class Sink>
ErrorCode ReadChunks(DiskHandle& disk, const ContiguousExtent& extent, uint64_t bytes_to_take,
                     Sink&& sink) {
  const uint32_t sector_bytes = extent.sector_bytes;
  if (sector_bytes == 0 || sector_bytes > kChunkBytes) return err::kInvalidParameter;
  std::vector<uint8_t> buffer(kChunkBytes);
  uint64_t sectors_left = (bytes_to_take + sector_bytes - 1) / sector_bytes;
  uint64_t position = extent.first_sector;
  uint64_t bytes_done = 0;
  while (sectors_left > 0) {
    const uint64_t count = std::min<uint64_t>(kChunkBytes / sector_bytes, sectors_left);
    uint64_t sectors_read = 0;
    const ErrorCode rc =
        ReadSectors(count, disk, buffer.data(), position, sector_bytes, &sectors_read);
    if (sectors_read > 0) {
      const uint64_t bytes =
          std::min<uint64_t>(sectors_read * sector_bytes, bytes_to_take - bytes_done);
      bytes_done += bytes;
      const int32_t answer = sink(buffer.data(), static_cast<std::size_t>(bytes), bytes_done);
      if (answer != 0) return answer;
    }
    if (!rc.ok()) return rc;
    if (sectors_read == 0) return err::kReadFault;
    position += sectors_read;
    sectors_left -= sectors_read;
  }
  return err::kSuccess;
}

ErrorCode CreateParentFolder(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  if (parent.empty()) return err::kSuccess;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  return ec ? FromErrno(ec.value()) : ErrorCode(err::kSuccess);
}

int32_t Percent(uint64_t done, uint64_t total) {
  return total == 0 ? 100 : static_cast<int32_t>(done * 100 / total);
}

}  // namespace

ErrorCode CopyContiguousToFile(DiskHandle& disk, const ContiguousExtent& extent,
                               const std::filesystem::path& destination,
                               RecoveryProgressCallback callback, void* user) {
  const std::string name = destination.string();
  auto report_error = [&](ErrorCode rc) {
    if (rc > 0 && callback != nullptr) (void)callback(user, 100, 100, rc, name.c_str());
    return rc;
  };
  if (ErrorCode rc = CreateParentFolder(destination); !rc.ok()) return report_error(rc);
  platform::File out;
  // Truncated: a file left at this path must not keep a tail behind the data.
  if (ErrorCode rc = out.Open(destination, platform::File::Mode::kCreateTruncate); !rc.ok()) {
    return report_error(rc);
  }
  if (extent.size_bytes == 0) return err::kSuccess;
  const ErrorCode rc = ReadChunks(
      disk, extent, extent.size_bytes,
      [&](const uint8_t* data, std::size_t bytes, uint64_t done) -> int32_t {
        const ErrorCode written = out.WriteAt(done - bytes, std::span<const uint8_t>(data, bytes));
        if (!written.ok()) return written;
        if (callback == nullptr) return 0;
        return callback(user, Percent(done, extent.size_bytes), 100, 0, name.c_str());
      });
  out.Close();
  return report_error(rc);
}

ErrorCode ExtractContiguous(DiskHandle& disk, const ContiguousExtent& extent,
                            const ExtractTarget& target, PreviewProgressCallback callback,
                            void* user) {
  auto report_error = [&](ErrorCode rc) {
    if (rc > 0 && callback != nullptr) (void)callback(user, 100, rc);
    return rc;
  };
  const bool to_file = !target.file.empty();
  if (!to_file &&
      (target.byte_count == nullptr || (target.buffer == nullptr && *target.byte_count > 0))) {
    return report_error(err::kInvalidParameter);
  }
  ErrorCode rc = err::kSuccess;
  if (to_file) {
    std::error_code ec;
    std::filesystem::remove(target.file, ec);
    if (rc = CreateParentFolder(target.file); !rc.ok()) return report_error(rc);
    platform::File out;
    if (rc = out.Open(target.file, platform::File::Mode::kCreateTruncate); !rc.ok())
      return report_error(rc);
    rc = ReadChunks(
        disk, extent, extent.size_bytes,
        [&](const uint8_t* data, std::size_t bytes, uint64_t done) -> int32_t {
          const ErrorCode written =
              out.WriteAt(done - bytes, std::span<const uint8_t>(data, bytes));
          if (!written.ok()) return written;
          return callback == nullptr ? 0 : callback(user, Percent(done, extent.size_bytes), 0);
        });
    out.Close();
    if (!rc.ok()) std::filesystem::remove(target.file, ec);
    if (target.byte_count != nullptr) *target.byte_count = 0;
    return report_error(rc);
  }
  const uint64_t to_take = std::min<uint64_t>(extent.size_bytes, *target.byte_count);
  uint64_t copied = 0;
  rc = ReadChunks(disk, extent, to_take,
                  [&](const uint8_t* data, std::size_t bytes, uint64_t done) -> int32_t {
                    std::copy_n(data, bytes, target.buffer + copied);
                    copied = done;
                    return callback == nullptr ? 0 : callback(user, Percent(done, to_take), 0);
                  });
  *target.byte_count = static_cast<uint32_t>(copied);
  return report_error(rc);
}

}  // namespace vexlo
