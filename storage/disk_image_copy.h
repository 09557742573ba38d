// Copies a whole disk, a volume or a free area into an image file, the way a
// failing card should be copied: the readable areas first, the edges of bad
// areas afterwards, every step recorded in a map beside the image, so that
// the copy can be stopped and continued at any time and a dying device is
// read as little as possible.
//
// The copy runs in phases (storage/rescue_phases.h): copying in 1 MiB reads
// that skip ahead, further and further, past errors and slow reads; trimming
// the edges of what failed, sector by sector; scraping the rest of the failed
// areas sector by sector; optional retry passes over the bad sectors. Each
// sector is read at most once in the copying phase.
//
// The map "<image>.map" is a GNU ddrescue mapfile (storage/mapfile.h); it is
// written through a temporary file and a rename every few seconds and when
// the copy ends, for whatever reason. When it exists beside an existing
// image and `fresh` is not set, the copy continues from it (a map ddrescue
// wrote included) and never reads a finished area again; otherwise the
// image starts empty. The image always
// has the full size of the copy; sectors not copied (unreadable, or not read
// yet) are zeros in it, and the map says which they are.
//
// The copy stops cleanly, with the map saved, when the progress callback
// answers anything but 0 (normally kCancelCode), when the device vanishes,
// when it stops answering (no read succeeded for `silence_limit_seconds`,
// or many in a row failed where success was possible, and then a sector
// that read before fails too), or when the image cannot be written. The
// source is only read (through sector_io.h).
//
// A copy runs in one worker thread; the callback is called from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/disk_table.h"
#include "platform/error_code.h"
#include "storage/mapfile.h"
#include "storage/rescue_map.h"
#include "storage/sector_io.h"

namespace vexlo {

// One read of the copying phase.
inline constexpr uint64_t kRescueBlockBytes = uint64_t{1} << 20;
// A block is read in pieces of this size: one bad sector of a failing card
// then costs its piece, not the whole block.
inline constexpr uint64_t kRescuePieceBytes = uint64_t{64} << 10;
// The remaining time is estimated again once more than this has passed.
inline constexpr uint64_t kImageEstimateIntervalMs = 4999;
// The map is saved at most this often while the copy runs.
inline constexpr uint64_t kMapSaveIntervalMs = 5000;
// The progress callback is called at most this often (and at every change
// of phase).
inline constexpr uint64_t kImageProgressIntervalMs = 100;
// After this long without a good read, a copy checks that the device still
// answers, and stops when it does not (0: never).
inline constexpr uint32_t kDefaultSilenceLimitSeconds = 60;
// Unreadable ranges kept in the report; the map lists all of them.
inline constexpr std::size_t kMaxReportedUnreadableRanges = 1024;

// Message keys of the progress window's time line: still estimating, or the
// remaining time follows.
inline constexpr const char* kImageTimeEstimatingKey = "MSG0304";
inline constexpr const char* kImageTimeRemainingKey = "MSG0305";

// The key for a remaining-time value passed to the progress callback.
const char* ImageTimeMessageKey(int64_t remaining_seconds);

// What one progress callback is told. Sectors are of the copy's sector size.
struct ImageCopyProgress {
  RescuePhase phase = RescuePhase::kCopying;
  uint32_t pass = 1;
  // Share of the copy that is settled (copied, or found bad sector by
  // sector), 0..100.
  int32_t percentage = 0;
  uint64_t sectors_done = 0;
  uint64_t sectors_total = 0;
  int64_t remaining_seconds = -1;  // -1 until the first estimate
  uint64_t rescued_bytes = 0;
  uint64_t failed_bytes = 0;  // tried and not copied (so far)
  uint64_t bad_areas = 0;
  uint64_t read_rate_bytes_per_second = 0;  // over about the last second
  uint64_t seconds_since_success = 0;       // since the last good read
};

// Returns 0 to go on, anything else (kCancelCode) to stop.
using ImageProgressCallback = int32_t (*)(void* user, const ImageCopyProgress& progress);

struct ImageCopyJob {
  ImageProgressCallback progress = nullptr;
  void* user = nullptr;
  // Milliseconds of a monotonic clock; empty for the steady clock. Tests
  // replace it to drive estimates, slow reads and silence without waiting.
  std::function<uint64_t()> clock_ms;
  // Where disk numbers are looked up.
  platform::SysfsRoots roots;
  // Retry passes over the bad sectors after scraping.
  uint32_t retry_passes = 0;
  uint32_t silence_limit_seconds = kDefaultSilenceLimitSeconds;
  // Start anew even when a map lies beside the image.
  bool fresh = false;
  // Names the source in the map's heading ("/dev/sdb").
  std::string source_name;
};

// Why a copy ended.
enum class ImageCopyEnd {
  kFinished,
  kCancelled,     // the callback said stop
  kDeviceGone,    // the device vanished
  kDeviceSilent,  // the device stopped answering
  kMapUnusable,   // the map beside the image is no map of this copy
  kFailed,        // the image could not be written, or nothing could start
};

// Reads and time spent in one phase during this run.
struct PhaseStats {
  uint64_t reads = 0;
  uint64_t failed_reads = 0;
  uint64_t bytes_read = 0;
  uint64_t elapsed_ms = 0;
};

// Index into ImageCopyReport::phases.
int PhaseIndex(RescuePhase phase);
inline constexpr int kPhaseCount = 4;  // copying, trimming, scraping, retrying

// Sectors of the image (sector 0 = the copy's first sector on the source).
struct UnreadableRange {
  uint64_t first_sector = 0;
  uint64_t sector_count = 0;
};

struct ImageCopyReport {
  uint32_t sector_bytes = 512;
  uint64_t first_sector = 0;   // on the source
  uint64_t sectors_total = 0;  // what the copy was asked for
  ImageCopyEnd end = ImageCopyEnd::kFailed;
  bool continued = false;  // a map beside the image was followed
  MapTotals totals;        // of the whole map, when the copy ended
  std::array<PhaseStats, kPhaseCount> phases{};
  uint64_t rescued_sectors = 0;
  uint64_t unreadable_sectors = 0;  // tried and failed (bad, or not yet trimmed or scraped)
  uint64_t untried_sectors = 0;
  // Single-sector reads of copied sectors, made to check that a device
  // which failed for long still answers.
  uint64_t probe_reads = 0;
  uint64_t unreadable_range_count = 0;
  std::vector<UnreadableRange> unreadable;  // the first kMaxReportedUnreadableRanges
  std::filesystem::path map_path;
  int32_t map_error = 0;  // the last failure to save the map
};

// Copies `sector_count` sectors (0: everything from `first_sector` to the end)
// of an open source, in its device sector size, into `image_path`. Returns 0,
// the code of a failed step (87 for a range beyond the source or an unusable
// map, before any data moves; 21 when the device vanished or fell silent),
// or the callback's stop value.
ErrorCode CopyDiskToImage(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report);

// The same for whole disk `disk_number` of the disk table.
ErrorCode CopyDiskToImage(ImageCopyJob& job, uint32_t disk_number, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report);

}  // namespace vexlo
