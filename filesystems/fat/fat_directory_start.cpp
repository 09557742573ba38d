#include "filesystems/fat/fat_directory_start.h"

#include "filesystems/fat/fat_dir_entry.h"

namespace vexlo::fat {

bool IsFatDirectoryStart(const uint8_t* sector, std::size_t length) {
  if (length < 2 * kDirEntryBytes) return false;
  const DirEntry dot(sector);
  const DirEntry dot_dot(sector + kDirEntryBytes);
  return dot.is_dot() && dot.is_directory() && dot_dot.is_dot_dot() && dot_dot.is_directory() &&
         IsValidEntry(sector, sector + kDirEntryBytes);
}

}  // namespace vexlo::fat
