// What a SOURCE argument names:
//   IMAGE        an image file, the whole medium it holds;
//   IMAGE:N      partition N of the image's partition table (IMAGE:0, the
//                image whole, table and gaps included);
//   /dev/sdb     a whole disk, the whole medium; /dev/sdb:N as for an image;
//   /dev/sdb1    one partition of a disk;
//   entry:N      the N-th entry of `list`.
// A whole medium is scanned partition by partition (see ScanParts) and
// copied whole by `image`. Devices are read through their whole disk of the
// disk table, at the partition's first sector, as the engines and the image
// writer expect.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/disk_table.h"
#include "platform/error_code.h"
#include "storage/medium_layout.h"
#include "storage/sector_io.h"

namespace vexlo::cli {

// What a SOURCE argument may be, for the commands' --help.
inline constexpr const char* kSourceHelp =
    "an image file, a block device (/dev/sdb, /dev/sdb1), IMAGE:N or DISK:N for partition N "
    "of its table (IMAGE:0 for all of it), or entry:N of 'vexlo-recover list'";

struct SourceArgument {
  enum class Kind { kImageFile, kDisk };
  Kind kind = Kind::kImageFile;
  // The image file, or the device the user means (partition or whole disk).
  std::filesystem::path path;
  uint32_t disk_number = 0;
  // The stretch named, in the medium's sector size (512 for an image file).
  uint64_t first_sector = 0;
  uint64_t sector_count = 0;
  // A whole image or disk, named without a partition number.
  bool whole_medium = false;
};

enum class SourceStatus {
  kResolved,
  kBadSyntax,   // "entry:" without a positive number: a usage error
  kFailed,      // named nothing usable; see the code and message
  kNoSuchPart,  // the medium has no partition of that number; the message says so
};

// Resolves `text`. On kFailed, *code holds the reason and *message names the
// source for the user; *message is what to tell the user otherwise.
SourceStatus ResolveSourceArgument(std::string_view text, const platform::SysfsRoots& roots,
                                   SourceArgument* source, ErrorCode* code, std::string* message);

// ResolveSourceArgument for a subcommand: returns kExitSuccess, or the exit
// status after the problem was reported. *name names the source in
// messages. An image's path is made absolute, so that the scan history knows
// the same file by the same path from whichever folder the tool runs.
int ResolveSource(std::string_view text, SourceArgument* source, std::string* name);

// Failure() for a source that could not be opened or read: a refused device
// gets the way out, or what refused it. Returns kExitFailure.
int SourceFailure(const SourceArgument& source, std::string_view name, ErrorCode code);

// Opens the medium of `source` (the image file or the whole disk).
ErrorCode OpenSourceMedium(const SourceArgument& source, DiskHandle* disk);

// The layout of the medium of `source`.
ErrorCode ReadSourceLayout(const SourceArgument& source, MediumLayout* layout);

// What a scan of `source` covers: each partition of a whole medium's table
// (the medium whole when it has none), or the one stretch it names.
ErrorCode ScanParts(const SourceArgument& source, std::vector<MediumPartition>* parts);

}  // namespace vexlo::cli
