// Where the fields of the ext2/3/4 superblock lie that detection checks.
// The superblock is the 1,024 bytes that start 1,024 bytes into a volume.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ondisk/field.h"

namespace vexlo::ext::superblock {

inline constexpr std::size_t kOffset = 1024;  // from the volume start
inline constexpr std::size_t kBytes = 1024;

inline constexpr LeField<uint32_t> kInodeCount{0x00};
inline constexpr LeField<uint32_t> kBlockCount{0x04};
inline constexpr LeField<uint32_t> kFirstDataBlock{0x14};
inline constexpr LeField<uint32_t> kLogBlockSize{0x18};  // block size = 1,024 << this
inline constexpr LeField<uint32_t> kBlocksPerGroup{0x20};
inline constexpr LeField<uint32_t> kInodesPerGroup{0x28};
inline constexpr LeField<uint16_t> kMagic{0x38};
inline constexpr uint16_t kMagicValue = 0xEF53;
inline constexpr LeField<uint32_t> kFirstInode{0x54};

}  // namespace vexlo::ext::superblock
