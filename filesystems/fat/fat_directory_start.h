// Does a sector begin a FAT directory?
//
// Every FAT sub-directory starts with a "." entry followed by a ".." entry,
// both empty directories with the same times. Such a sector, found anywhere
// on a medium, tells where a directory cluster lies and which folder is its
// parent, which is how a formatted volume's folders are rebuilt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo::fat {

// True when the first two entries of `sector` are a valid "." / ".." pair.
bool IsFatDirectoryStart(const uint8_t* sector, std::size_t length);

}  // namespace vexlo::fat
