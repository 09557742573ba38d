#include "storage/disk_image_copy.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "platform/file.h"

namespace vexlo {
namespace {

uint64_t SteadyMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// Collects unreadable sectors into ranges, keeps the first ones for the
// report and streams every range into the map file, so that memory stays
// bounded however many bad stretches a card has.
class UnreadableLog {
 public:
  UnreadableLog(std::filesystem::path map_path, ImageCopyReport* report)
      : map_path_(std::move(map_path)), report_(report) {}

  void Add(uint64_t image_sector) {
    ++report_->unreadable_sectors;
    if (has_current_ && current_.first_sector + current_.sector_count == image_sector) {
      ++current_.sector_count;
      return;
    }
    Flush();
    current_ = {image_sector, 1};
    has_current_ = true;
  }

  void Finish() {
    Flush();
    map_.Close();
  }

 private:
  void Flush() {
    if (!has_current_) return;
    has_current_ = false;
    ++report_->unreadable_range_count;
    if (report_->unreadable.size() < kMaxReportedUnreadableRanges) {
      report_->unreadable.push_back(current_);
    }
    if (report_->bad_map_error != 0) return;
    if (!map_.is_open()) {
      if (ErrorCode rc = map_.Open(map_path_, platform::File::Mode::kCreateTruncate); !rc.ok()) {
        report_->bad_map_error = rc;
        return;
      }
      report_->bad_map_path = map_path_;
      Write("# Unreadable sectors, written to the image as zeros.\n# Sector size " +
            std::to_string(report_->sector_bytes) + " bytes; image sector 0 is source sector " +
            std::to_string(report_->first_sector) + ".\n# first_sector sector_count\n");
    }
    Write(std::to_string(current_.first_sector) + " " + std::to_string(current_.sector_count) +
          "\n");
  }

  void Write(const std::string& text) {
    if (report_->bad_map_error != 0) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (ErrorCode rc = map_.WriteAt(offset_, {bytes, text.size()}); !rc.ok()) {
      report_->bad_map_error = rc;
      return;
    }
    offset_ += text.size();
  }

  std::filesystem::path map_path_;
  ImageCopyReport* report_;
  platform::File map_;
  uint64_t offset_ = 0;
  UnreadableRange current_;
  bool has_current_ = false;
};

// Reads one piece; sectors that fail even on their own become zeros.
void ReadPiece(DiskHandle& source, uint64_t source_sector, uint64_t sector_count,
               uint32_t sector_bytes, uint64_t image_sector, uint8_t* buffer, UnreadableLog* log) {
  uint64_t got = 0;
  if (ReadSectors(sector_count, source, buffer, source_sector, sector_bytes, &got).ok() &&
      got == sector_count) {
    return;
  }
  for (uint64_t i = got; i < sector_count; ++i) {
    uint8_t* at = buffer + i * sector_bytes;
    uint64_t one = 0;
    if (!ReadSectors(1, source, at, source_sector + i, sector_bytes, &one).ok() || one != 1) {
      std::memset(at, 0, sector_bytes);
      log->Add(image_sector + i);
    }
  }
}

// Refuses to write into anything but a regular file: a device named as the
// target would otherwise be overwritten.
ErrorCode CheckTargetKind(const std::filesystem::path& image_path) {
  std::error_code ec;
  const auto status = std::filesystem::status(image_path, ec);
  if (ec || !std::filesystem::exists(status)) return err::kSuccess;
  return std::filesystem::is_regular_file(status) ? ErrorCode(err::kSuccess)
                                                  : ErrorCode(err::kInvalidParameter);
}

}  // namespace

const char* ImageTimeMessageKey(int64_t remaining_seconds) {
  return remaining_seconds < 0 ? kImageTimeEstimatingKey : kImageTimeRemainingKey;
}

std::filesystem::path BadSectorMapPath(const std::filesystem::path& image_path) {
  return std::filesystem::path(image_path.string() + ".bad");
}

ErrorCode CopyDiskToImage(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report) {
  *report = ImageCopyReport{};
  const uint32_t sector_bytes = source.device_sector_bytes;
  if (!source.is_open() || sector_bytes == 0 || sector_bytes > kImageCopyBufferBytes) {
    return err::kInvalidParameter;
  }
  if (first_sector > source.total_sectors) return err::kInvalidParameter;
  if (sector_count == 0) sector_count = source.total_sectors - first_sector;
  if (sector_count > source.total_sectors - first_sector) return err::kInvalidParameter;
  report->sector_bytes = sector_bytes;
  report->first_sector = first_sector;
  report->sectors_total = sector_count;

  if (ErrorCode rc = CheckTargetKind(image_path); !rc.ok()) return rc;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kImageCopyBufferBytes]);
  if (!buffer) return err::kNotEnoughMemory;
  platform::File target;
  if (ErrorCode rc = target.Open(image_path, platform::File::Mode::kReadWriteCreate); !rc.ok()) {
    return rc;
  }
  const std::filesystem::path map_path = BadSectorMapPath(image_path);
  std::error_code remove_ec;
  std::filesystem::remove(map_path, remove_ec);
  UnreadableLog log(map_path, report);

  const auto now = [&job] { return job.clock_ms ? job.clock_ms() : SteadyMilliseconds(); };
  const uint64_t start_ms = now();
  uint64_t last_estimate_ms = start_ms;
  int64_t remaining_seconds = -1;
  const uint64_t piece_sectors = kImageCopyBufferBytes / sector_bytes;
  const uint64_t total_bytes = sector_count * sector_bytes;
  uint64_t done = 0;
  ErrorCode result = err::kSuccess;

  while (done < sector_count) {
    const uint64_t count = std::min(piece_sectors, sector_count - done);
    ReadPiece(source, first_sector + done, count, sector_bytes, done, buffer.get(), &log);
    if (ErrorCode rc = target.WriteAt(done * sector_bytes, {buffer.get(), count * sector_bytes});
        !rc.ok()) {
      result = rc;
      break;
    }
    done += count;

    const uint64_t done_bytes = done * sector_bytes;
    const uint64_t now_ms = now();
    if (now_ms - last_estimate_ms > kImageEstimateIntervalMs) {
      const uint64_t seconds = (now_ms - start_ms) / 1000;
      const uint64_t speed = std::max<uint64_t>(1, done_bytes / std::max<uint64_t>(1, seconds));
      remaining_seconds = static_cast<int64_t>((total_bytes - done_bytes) / speed);
      last_estimate_ms = now_ms;
    }
    if (job.progress != nullptr) {
      const auto percentage = static_cast<int32_t>(done * 100 / sector_count);
      if (const int32_t answer =
              job.progress(job.user, percentage, done, sector_count, remaining_seconds);
          answer != 0) {
        result = answer;
        break;
      }
    }
  }

  log.Finish();
  report->sectors_copied = done;
  if (ErrorCode rc = target.Truncate(done * sector_bytes); !rc.ok() && result.ok()) result = rc;
  target.Close();
  return result;
}

ErrorCode CopyDiskToImage(ImageCopyJob& job, uint32_t disk_number, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report) {
  *report = ImageCopyReport{};
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk, job.roots); !rc.ok()) return rc;
  return CopyDiskToImage(job, disk, first_sector, sector_count, image_path, report);
}

}  // namespace vexlo
