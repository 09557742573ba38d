// Copies a whole disk, a volume or a free area sector by sector into an image
// file, so that a failing card can be read once and then scanned as an image.
//
// The source is only read (through sector_io.h); the image is written with
// platform::File. A failing card must not stop the copy: a 64 KiB piece that
// cannot be read is read again sector by sector, every sector that still
// fails is written as zeros, and the copy goes on. The unreadable sectors are
// counted in the report and listed in a text map beside the image,
// "<image>.bad" (a stale map of an earlier copy is removed). When the copy
// ends, for whatever reason, the image is cut to the bytes copied, so that
// the tail of an older, larger file never reads as part of the medium.
//
// Progress goes to a callback after every piece; answering anything but 0
// (normally kCancelCode) stops the copy, which returns that value and leaves
// the partial image. The remaining time is -1 until the first estimate, made
// once more than five seconds have passed, and refreshed every five seconds.
//
// A copy runs in one worker thread; the callback is called from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/disk_table.h"
#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo {

// Size of one piece: the copy buffer and the largest single read.
inline constexpr std::size_t kImageCopyBufferBytes = 65536;
// The remaining time is estimated again once more than this has passed.
inline constexpr uint64_t kImageEstimateIntervalMs = 4999;
// Unreadable ranges kept in the report; the map file lists all of them.
inline constexpr std::size_t kMaxReportedUnreadableRanges = 1024;

// Message keys of the progress window's time line: still estimating, or the
// remaining time follows.
inline constexpr const char* kImageTimeEstimatingKey = "MSG0304";
inline constexpr const char* kImageTimeRemainingKey = "MSG0305";

// The key for a remaining-time value passed to the progress callback.
const char* ImageTimeMessageKey(int64_t remaining_seconds);

// percentage: 0..100; sectors in the copy's sector size; remaining_seconds:
// -1 until the first estimate. Returns 0 to go on, kCancelCode to stop.
using ImageProgressCallback = int32_t (*)(void* user, int32_t percentage, uint64_t sectors_done,
                                          uint64_t sectors_total, int64_t remaining_seconds);

struct ImageCopyJob {
  ImageProgressCallback progress = nullptr;
  void* user = nullptr;
  // Milliseconds of a monotonic clock; empty for the steady clock. Tests
  // replace it to drive the estimate without waiting.
  std::function<uint64_t()> clock_ms;
  // Where disk numbers are looked up.
  platform::SysfsRoots roots;
};

// Sectors of the image (sector 0 = the copy's first sector on the source).
struct UnreadableRange {
  uint64_t first_sector = 0;
  uint64_t sector_count = 0;
};

struct ImageCopyReport {
  uint32_t sector_bytes = 512;
  uint64_t first_sector = 0;    // on the source
  uint64_t sectors_total = 0;   // what the copy was asked for
  uint64_t sectors_copied = 0;  // what the image holds (zeros included)
  uint64_t unreadable_sectors = 0;
  uint64_t unreadable_range_count = 0;
  std::vector<UnreadableRange> unreadable;  // the first kMaxReportedUnreadableRanges
  std::filesystem::path bad_map_path;       // set when a map was written
  int32_t bad_map_error = 0;                // the map could not be written
};

// The map's name beside an image: "<image>.bad".
std::filesystem::path BadSectorMapPath(const std::filesystem::path& image_path);

// Copies `sector_count` sectors (0: everything from `first_sector` to the end)
// of an open source, in its device sector size, into `image_path`. Returns 0,
// the code of a failed step (87 for a range beyond the source, before any
// data moves), or the callback's stop value.
ErrorCode CopyDiskToImage(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report);

// The same for whole disk `disk_number` of the disk table.
ErrorCode CopyDiskToImage(ImageCopyJob& job, uint32_t disk_number, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report);

}  // namespace vexlo
