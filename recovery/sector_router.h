// Which handler examines a sector of a formatted or deep scan.
//
// The driver reads the medium once and gives every sector to exactly one
// handler: an NTFS file record goes to the NTFS rebuilder, the start and the
// data of a FAT directory go to the FAT rebuilder, everything else is carved.
// The tests are cheap and run in that order; the first that matches wins.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo {

enum class SectorRoute {
  kNtfsFileRecord,     // an NTFS FILE record of a file
  kNtfsFolderRecord,   // a FILE record of a folder: passed over
  kFatDirectoryStart,  // a "." / ".." pair
  kFatDirectoryData,   // FAT directory entries
  kCarve,              // anything else
};

// `sector` holds at least `sector_bytes` bytes.
SectorRoute RouteSector(const uint8_t* sector, uint32_t sector_bytes);

// Whether a sector that carving's metadata test refused goes to a handler
// other than carving: what a length search asks of every sector it finds
// clear. Such a sector holds no FILE record and no FAT directory entries
// (both are metadata to carving), so the costly directory-entry test is not
// run a second time.
bool RoutedAwayFromCarvingUnlessMetadata(const uint8_t* sector, std::size_t sector_bytes);

}  // namespace vexlo
