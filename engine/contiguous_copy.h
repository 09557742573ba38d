// Copying a file whose data lie in consecutive sectors of a source: the
// write-out of carved files (and of any engine whose files are contiguous)
// and the extraction of such a file for preview.
//
// Data move in chunks of at most 64 KiB, read once and written once; only the
// last chunk is trimmed to the file's size. The source is only read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/file_recovery_parse.h"
#include "storage/sector_io.h"

namespace vexlo {

// Where a contiguous file lies.
struct ContiguousExtent {
  uint64_t first_sector;
  uint64_t size_bytes;
  uint32_t sector_bytes;
};

// Writes the extent to `destination`, creating its folder when missing and
// replacing a file already there. After each chunk `callback` (if any) gets
// (user, percent, 100, 0, destination); a nonzero answer stops the copy and
// is returned. A positive error is also reported once as (user, 100, 100,
// error, destination). A size of 0 leaves an empty file and reports nothing.
// A file that fails part-way stays with what was written.
ErrorCode CopyContiguousToFile(DiskHandle& disk, const ContiguousExtent& extent,
                               const std::filesystem::path& destination,
                               RecoveryProgressCallback callback, void* user);

// Where ExtractContiguous puts the data: a file when `file` is not empty,
// else `buffer` with capacity *byte_count.
struct ExtractTarget {
  std::filesystem::path file;
  uint8_t* buffer = nullptr;
  uint32_t* byte_count = nullptr;  // in: capacity; out: bytes placed in memory (0 for a file)
};

// Extracts the extent for preview. Progress is (user, percent, 0); a nonzero
// answer stops and is returned; a positive error is reported as (user, 100,
// error). A file target that fails is deleted.
ErrorCode ExtractContiguous(DiskHandle& disk, const ContiguousExtent& extent,
                            const ExtractTarget& target, PreviewProgressCallback callback,
                            void* user);

}  // namespace vexlo
