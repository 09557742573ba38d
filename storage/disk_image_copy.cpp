#include "storage/disk_image_copy.h"

#include <system_error>

#include "platform/file.h"
#include "storage/rescue_phases.h"
#include "storage/rescue_session.h"

namespace vexlo {
namespace {

// Refuses to write into anything but a regular file: a device named as the
// target would otherwise be overwritten.
ErrorCode CheckTargetKind(const std::filesystem::path& image_path) {
  std::error_code ec;
  const auto status = std::filesystem::status(image_path, ec);
  if (ec || !std::filesystem::exists(status)) return err::kSuccess;
  return std::filesystem::is_regular_file(status) ? ErrorCode(err::kSuccess)
                                                  : ErrorCode(err::kInvalidParameter);
}

// The map to follow: the one beside the image unless the job starts anew
// or there is no image (a map alone claims copied bytes that are nowhere),
// else all of the domain non-tried.
ErrorCode ReadMap(const ImageCopyJob& job, const std::filesystem::path& image_path,
                  const std::filesystem::path& map_path, uint64_t domain_bytes,
                  uint32_t sector_bytes, RescueMap* map, RescueStatus* status, bool* continued) {
  *map = RescueMap(domain_bytes);
  *status = RescueStatus{};
  *continued = false;
  std::error_code ec;
  if (job.fresh || !std::filesystem::exists(map_path, ec) ||
      !std::filesystem::exists(image_path, ec)) {
    return err::kSuccess;
  }
  if (ErrorCode rc = LoadMapfile(map_path, domain_bytes, map, status); !rc.ok()) return rc;
  map->AlignToSectors(sector_bytes);
  *continued = true;
  return err::kSuccess;
}

}  // namespace

const char* ImageTimeMessageKey(int64_t remaining_seconds) {
  return remaining_seconds < 0 ? kImageTimeEstimatingKey : kImageTimeRemainingKey;
}

ErrorCode CopyDiskToImage(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector,
                          uint64_t sector_count, const std::filesystem::path& image_path,
                          ImageCopyReport* report) {
  *report = ImageCopyReport{};
  const uint32_t sector_bytes = source.device_sector_bytes;
  // Every read of the copying phase is a whole number of sectors.
  if (!source.is_open() || sector_bytes == 0 || kRescueBlockBytes % sector_bytes != 0) {
    return err::kInvalidParameter;
  }
  if (first_sector > source.total_sectors) return err::kInvalidParameter;
  if (sector_count == 0) sector_count = source.total_sectors - first_sector;
  if (sector_count > source.total_sectors - first_sector) return err::kInvalidParameter;
  report->sector_bytes = sector_bytes;
  report->first_sector = first_sector;
  report->sectors_total = sector_count;
  report->map_path = MapfilePath(image_path);
  if (ErrorCode rc = CheckTargetKind(image_path); !rc.ok()) return rc;

  const uint64_t domain_bytes = sector_count * sector_bytes;
  RescueMap map;
  RescueStatus status;
  if (ErrorCode rc = ReadMap(job, image_path, report->map_path, domain_bytes, sector_bytes, &map,
                             &status, &report->continued);
      !rc.ok()) {
    report->end = rc == err::kInvalidParameter ? ImageCopyEnd::kMapUnusable : ImageCopyEnd::kFailed;
    return rc;
  }

  platform::File image;
  if (ErrorCode rc = image.Open(image_path, platform::File::Mode::kReadWriteCreate); !rc.ok()) {
    return rc;
  }
  RescueSession session(job, source, first_sector, image, map, status, report->map_path, report);
  // The map is replaced before the image is emptied: a crash in between
  // leaves a map that trusts nothing of the old image.
  if (!session.Start()) return session.Finish();
  if (!report->continued) {
    if (ErrorCode rc = image.Truncate(0); !rc.ok()) return rc;
  }
  // The image has the copy's full size from the start (holes read as
  // zeros), and the tail of an older, larger file never reads as part of
  // the medium.
  if (ErrorCode rc = image.Truncate(domain_bytes); !rc.ok()) return rc;
  RunRescuePhases(session, status, job.retry_passes);
  return session.Finish();
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
