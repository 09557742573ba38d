// Files that two engines of a formatted or deep scan find in the same FAT
// directory entry.
//
// The FAT quick engine walks the deleted folders of the file system; the
// formatted-FAT rebuild parses every directory sector it meets in the free
// space, which includes those same deleted folders. Each then records the
// files of such a folder from the same 32-byte directory entry, and the type
// view would list every one of them twice.
//
// Both engines copy the entry's fields unchanged: first cluster, size,
// creation and last-write times and name, the name built by the same rules.
// These fields are what identifies a rebuilt duplicate. The position of the
// entry does not: the rebuild keeps the sector where the directory data
// began, which for a name stitched across sectors is not the entry's own.
// Nor does the deleted flag: inside a folder whose own entry alone was
// deleted, the quick engine marks every file deleted and the rebuild reads
// the entries as they are.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo {

// Removes, from records[first...], each formatted-FAT record that repeats a
// FAT quick record's directory entry, keeping the quick one (it follows the
// FAT chain and knows the file's state). One quick record stands for at most
// one rebuilt copy, so two distinct entries that happen to agree are both
// kept unless both engines listed both. The remaining records keep their
// order. O(n log n), no work per record beyond its name's hash.
void DropRebuiltFatDuplicates(std::vector<FoundFileRecord>* records, std::size_t first = 0);

}  // namespace vexlo
