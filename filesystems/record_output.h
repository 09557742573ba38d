// Output steps that every store-backed file-system engine takes the same way
// once it can read one file's data: where a preview puts a record, and
// copying a whole folder of found records into the destination.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/scan_result_store.h"

namespace vexlo {

// Where a preview extracts a record to: documents and archives a file of
// their own (sanitised) name in the scan-log folder, since the converters need
// one; sound and video "tmp.avi"; pictures "tmp.jpg". Empty means memory: any
// other type, a name without an extension, or a path too long to hand back.
std::filesystem::path PreviewTargetFor(std::string_view record_name);

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
