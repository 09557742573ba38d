// Does a sector look like FAT directory entries?
//
// Used to spot directory clusters anywhere on a medium, whatever state the
// file system is in: by the formatted-recovery engines to collect directory
// data, and by carving, where every file ends at the latest where file-system
// metadata begins. The test is strict about every entry (valid fields,
// plausible names, long-name runs that lead to their short entry), because a
// false hit cuts a carved file short.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo::fat {

// True when `sector` holds only FAT directory entries (an end mark followed
// by zero bytes may close them). A buffer shorter than one entry passes.
bool IsFatDirectorySector(const uint8_t* sector, std::size_t length);

// True when the sector begins with the "." / ".." pair every directory other
// than the root starts with (both directories of size 0 with equal times).
bool IsDirectoryStartSector(const uint8_t* sector, std::size_t length);

}  // namespace vexlo::fat
