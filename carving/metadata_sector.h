// Whether a sector holds file-system structures: NTFS file records, index
// buffers, log restart pages and the attribute-definition table, FAT, NTFS
// and exFAT boot sectors, or FAT directory entries. A carved file ends at the
// latest where such a sector begins.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo::carving {

// False for a buffer shorter than 32 bytes.
bool MetadataSectorTest(const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
