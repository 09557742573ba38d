// Output steps that every store-backed engine takes the same way once it can
// read one file's data: writing a found file out, extracting it for preview
// (and where a preview puts it), and copying a whole folder of found records
// into the destination.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/scan_result_store.h"

namespace vexlo {

// Where a preview extracts a record to, in `preview_folder` (the scan-log
// root): documents and archives a file of their own (sanitised) name, since
// the converters need one; sound and video "tmp.avi"; pictures "tmp.jpg".
// Empty means memory: any other type, a name without an extension, or a path
// of kPreviewPathCapacity bytes or more, too long to hand back.
std::filesystem::path PreviewTargetFor(const std::filesystem::path& preview_folder,
                                       std::string_view record_name);

// Receives a file's bytes in order; `done` counts them including this piece.
// A nonzero answer stops the reading and is returned.
using RecordDataSink = std::function<int32_t(std::span<const uint8_t> bytes, uint64_t done)>;

// An engine's reader of one record's data: feeds at most `max_bytes` of them
// to the sink and returns 0 when they are delivered or the data ended early,
// else the sink's answer or the read error.
using RecordDataReader = std::function<ErrorCode(uint64_t max_bytes, const RecordDataSink& sink)>;

// The byte counts of a file whose data ended before its size.
struct ShortCopy {
  uint64_t written = 0;
  uint64_t size = 0;

  bool operator==(const ShortCopy&) const = default;
};

// The counts of the last file that WriteRecordFile failed with 38 on this
// thread: what the recovery callback that hears the 38 reports beside it.
ShortCopy LastShortCopy();

// Writes the `size` bytes of a found file to `destination`, creating its
// folder and replacing a file already there; pieces of zeros become holes.
// `callback` (if any) hears (user, percent, 100, 0, destination, 0) after
// each piece below 100 percent and, once the file is complete, 100 percent
// with `unreadable_bytes` (of the file, from sectors its source could not
// read), also when it is empty; a nonzero answer stops the copy and is
// returned. Data that end before `size` leave the file with the bytes
// delivered and fail it with 38 (LastShortCopy tells the counts). A positive
// error is reported once as (user, 100, 100, error, destination, 0). The
// source is read only when there is something to read.
ErrorCode WriteRecordFile(const RecordDataReader& read, uint64_t size,
                          const std::filesystem::path& destination,
                          RecoveryProgressCallback callback, void* user, uint64_t unreadable_bytes);

// The preview extraction of one record: into the file PreviewTargetFor names
// in `preview_folder` (its path returned in `path`), else into `buffer` up to
// *byte_count bytes (*byte_count is set to how many were placed; no buffer
// takes none). Progress is (user, percent, 0); a nonzero answer stops and is
// returned; a positive error is reported as (user, 100, error), and a target
// file that failed is removed. A folder gives 87.
ErrorCode ExtractRecordForPreview(const RecordDataReader& read, const FoundFileRecord& record,
                                  const std::filesystem::path& preview_folder, std::string* path,
                                  uint8_t* buffer, uint32_t* byte_count,
                                  PreviewProgressCallback callback, void* user);

// Writes one file record to a destination path; returns its result code.
using RecordFileWriter =
    std::function<ErrorCode(const FoundFileRecord& record, const std::filesystem::path& path)>;

// Recreates `folder` at `destination` with everything the store files below
// it, breadth first: folders are created, files go through `write_file`. A
// cancel from a file ends the copy with the cancel code; other errors end
// only that file. The folder's level comes from the store's index (not from
// the destination's depth), and each folder is copied once however the index
// links them, so a damaged index cannot make the copy loop.
ErrorCode CopyFolderTree(ScanResultStore* store, const FoundFileRecord& folder,
                         const std::filesystem::path& destination,
                         const RecordFileWriter& write_file);

}  // namespace vexlo
