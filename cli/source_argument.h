// What a SOURCE argument names: an image file, a block device (a whole disk
// or one of its partitions), or "entry:N", the N-th entry of `list`.
// Devices are read through their whole disk of the disk table, at the
// partition's first sector, as the engines and the image writer expect.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/disk_table.h"
#include "platform/error_code.h"

namespace vexlo::cli {

struct SourceArgument {
  enum class Kind { kImageFile, kDisk };
  Kind kind = Kind::kImageFile;
  // The image file, or the device the user means (partition or whole disk).
  std::filesystem::path path;
  uint32_t disk_number = 0;
  uint64_t first_sector = 0;  // in the disk's sector size
  uint64_t sector_count = 0;  // 0: the whole disk or image
};

enum class SourceStatus {
  kResolved,
  kBadSyntax,  // "entry:" without a positive number: a usage error
  kFailed,     // named nothing usable; see the code and message
};

// Resolves `text`. On kFailed, *code holds the reason and *message names the
// source for the user.
SourceStatus ResolveSourceArgument(std::string_view text, const platform::SysfsRoots& roots,
                                   SourceArgument* source, ErrorCode* code, std::string* message);

}  // namespace vexlo::cli
