// Whether an image target would be written onto the medium being copied.
//
// Writing the image of a card onto that same card overwrites the very data
// the image is meant to save, and copying an image file onto itself destroys
// it. Both the command-line tool and the main window refuse such targets
// before a copy starts.
#pragma once

#include <filesystem>

#include "platform/disk_table.h"

namespace vexlo {

// True when `target` is the source image file itself, or lies on a file
// system of the source device: the volume itself, or for a whole disk any of
// its partitions. `source` is an image file or a block device.
bool ImageTargetOnSource(const std::filesystem::path& target, const std::filesystem::path& source,
                         const platform::SysfsRoots& roots = {});

}  // namespace vexlo
