// Whether files written to a destination would land on the medium being
// recovered or copied.
//
// Writing onto that medium can overwrite the very sectors still to be
// rescued, so the recovery asks first (or refuses) and the image writer
// refuses. Linux has no drive letters to compare; devices are compared
// instead. The destination is judged by the file system that holds it
// (stat st_dev), or, when it does not exist yet, by that of its nearest
// existing parent. It lies on the source when that file system is:
//   - for an image source, the one the image file lives on;
//   - for a device source, the device itself, or for a whole disk any of its
//     partitions, or the file system mounted from any of those devices
//     (FUSE and some others report a device number of their own at the
//     mount point, which the device number alone would miss).
// A source or destination whose device cannot be read counts as elsewhere.
#pragma once

#include <filesystem>

#include "platform/disk_table.h"

namespace vexlo {

// What a destination is compared with.
struct SourceMedium {
  enum class Kind { kImageFile, kDevice };
  Kind kind = Kind::kDevice;
  // The image file, or the block device of the partition or whole disk.
  std::filesystem::path path;

  static SourceMedium ImageFile(std::filesystem::path image) {
    return {Kind::kImageFile, std::move(image)};
  }
  static SourceMedium Device(std::filesystem::path device) {
    return {Kind::kDevice, std::move(device)};
  }
};

// `roots` locate the disk table and the mount table.
bool DestinationOnSource(const std::filesystem::path& destination, const SourceMedium& source,
                         const platform::SysfsRoots& roots = {});

// Whether both paths name one existing file (links followed): an image
// copied onto itself.
bool SameExistingFile(const std::filesystem::path& first, const std::filesystem::path& second);

}  // namespace vexlo
