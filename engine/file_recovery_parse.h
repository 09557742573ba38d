// The one interface every recovery engine implements.
//
// The factory creates an engine and opens it on a source; the workers scan,
// search and recover through it; the preview extracts one file through it;
// the formatted-recovery driver drives the engines it contains through the
// same interface. Each engine owns its source, buffers and ScanResultStore,
// and answers every query from that store.
//
// Threading: each operation runs in the caller's thread; an engine has no
// locks, and only one thread uses it at a time. Callbacks are called from that
// thread.
//
// Errors: operations return codes of platform/error_code.h, 0 for success,
// and never throw. A callback that returns kCancelCode stops the running
// operation, which returns kCancelCode unchanged.
//
// The operations are declared in a fixed order (the slot order of the engine
// family); the destructor comes last.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"
#include "platform/error_code.h"

namespace vexlo {

// Scan progress. The percentage shown is progress x scale / 100.
// remaining_seconds is -1 when unknown; sectors_total 0 means the sector and
// file lines are not shown.
using ScanProgressCallback = int32_t (*)(void* user, int32_t progress, int32_t scale,
                                         int32_t remaining_seconds, uint64_t sectors_done,
                                         uint64_t sectors_total, uint64_t records_found,
                                         int32_t reserved);

// Recovery progress of one file. error_code is meaningful once the
// percentage (progress x scale / 100) reaches 100, and so is
// unreadable_bytes: how many of the written file's bytes come from sectors
// its source could not read, zeros in the file (0 when none, or when the
// engine cannot tell). file_name is UTF-8.
using RecoveryProgressCallback = int32_t (*)(void* user, int32_t progress, int32_t scale,
                                             int32_t error_code, const char* file_name,
                                             uint64_t unreadable_bytes);

// Search progress in percent.
using SearchProgressCallback = int32_t (*)(void* user, int32_t percent, int32_t reserved);

// Preview extraction progress in percent.
using PreviewProgressCallback = int32_t (*)(void* user, int32_t percent, int32_t reserved);

// Capacity, in bytes, of the path that ExtractForPreview hands back.
inline constexpr std::size_t kPreviewPathCapacity = 260;

// Sector count that opens an image partition up to the end of the image.
inline constexpr uint64_t kToImageEnd = UINT64_MAX;

class IFileRecoveryParse {
 public:
  // 0: opens a partition of an image file (an image of a whole card holds a
  // partition table), read through the image at `first_sector` (512-byte
  // sectors) for `sector_count` sectors, clipped to the image; `source_id` is
  // copied into every record.
  virtual ErrorCode OpenImagePartition(const std::filesystem::path& image_path,
                                       uint64_t first_sector, uint64_t sector_count,
                                       uint16_t source_id) = 0;

  // Opens an image file that is one volume from its first sector on.
  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) {
    return OpenImagePartition(image_path, 0, kToImageEnd, source_id);
  }

  // 1: opens a partition of whole disk `disk_number`, read through that disk
  // at `first_sector`.
  virtual ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                  uint64_t sector_count, uint16_t source_id) = 0;

  // 2: replaces both callbacks, the user value and the progress scale.
  virtual ErrorCode SetProgressCallbacks(ScanProgressCallback scan,
                                         RecoveryProgressCallback recovery, void* user,
                                         int32_t scale) = 0;

  // 3: runs the whole scan in the calling thread. Given the name of an
  // earlier scan's record file, only opens the store on it.
  virtual ErrorCode Scan(const std::string* earlier_record_file) = 0;

  // 4: records whose parent is `folder` (null and level 0: the root).
  virtual ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                               std::vector<FoundFileRecord>* out) = 0;

  // 5: file records below `folder` at any depth.
  virtual ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) = 0;

  // 6: records in the engine's store (0 when it has none).
  virtual uint64_t GetRecordCount() = 0;

  // 7: the folders from the root down to the record's parent, each followed
  // by "/" (UTF-8).
  virtual ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) = 0;

  // 8: writes the record's data to `destination`. `root_separator_count` is
  // the number of "/" in the destination root folder's path, its last
  // character not counted.
  virtual ErrorCode RecoverFile(const FoundFileRecord& record,
                                const std::filesystem::path& destination,
                                uint32_t root_separator_count) = 0;

  // 9: from *sector (relative to the partition), the next run of free
  // clusters: *sector becomes its start and *length_sectors its length.
  // Returns 1 when answered, 0 when the engine has no free-space map.
  virtual int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) = 0;

  // 10: sets the search callback; 87 when the engine has no store.
  virtual ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) = 0;

  // 11: appends the file records that the type-filter text selects.
  virtual ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) = 0;

  // 12: builds the used-cluster bitmap from the file system's allocation map.
  virtual ErrorCode BuildUsedClusterBitmap() = 0;

  // 13: places one record's data in a temporary file in the scan-log folder
  // (its path in *path) or in `buffer` (capacity in *byte_count in, bytes
  // placed out).
  virtual ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path,
                                      uint8_t* buffer, uint32_t* byte_count,
                                      PreviewProgressCallback callback, void* user) = 0;

  // 14: closes every handle and frees buffers and store; the scan-log files
  // stay on disk.
  virtual ~IFileRecoveryParse() = default;
};

}  // namespace vexlo
