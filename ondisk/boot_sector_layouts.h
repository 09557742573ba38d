// Where the fields of FAT, exFAT and NTFS boot sectors lie.
//
// Detection, the volume parsers of the file-system engines and carving's
// metadata test read boot sectors through these names; test encoders write
// through them. Values are validated by their readers, not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ondisk/field.h"

namespace vexlo {

// What the three boot sectors share.
namespace boot_sector {
inline constexpr std::size_t kBytes = 512;
inline constexpr ByteField kOemName{3, 8};
inline constexpr LeField<uint16_t> kSignature{510};
inline constexpr uint16_t kSignatureValue = 0xAA55;

[[nodiscard]] inline bool HasSignature(std::span<const uint8_t> sector) {
  return sector.size() >= kSignature.end() && kSignature.Load(sector) == kSignatureValue;
}
}  // namespace boot_sector

// The BIOS parameter block of FAT12, FAT16 and FAT32.
namespace fat::bpb {
inline constexpr LeField<uint16_t> kBytesPerSector{11};
inline constexpr LeField<uint8_t> kSectorsPerCluster{13};
inline constexpr LeField<uint16_t> kReservedSectors{14};  // the first FAT starts here
inline constexpr LeField<uint8_t> kFatCount{16};
inline constexpr LeField<uint16_t> kRootEntries{17};      // FAT12/16: fixed root directory
inline constexpr LeField<uint16_t> kTotalSectors16{19};   // 0: the 32-bit count holds
inline constexpr LeField<uint16_t> kSectorsPerFat16{22};  // 0 on FAT32
inline constexpr LeField<uint32_t> kTotalSectors32{32};
// FAT32's extended block.
inline constexpr LeField<uint32_t> kSectorsPerFat32{36};
inline constexpr LeField<uint32_t> kRootCluster{44};
inline constexpr LeField<uint16_t> kFsInfoSector{48};  // 0 or 0xFFFF: none
inline constexpr ByteField kFat32TypeText{82, 8};      // "FAT32   "
}  // namespace fat::bpb

// exFAT keeps bytes 11 to 63, FAT's BPB, zero.
namespace exfat::boot {
inline constexpr ByteField kZeroedBpb{11, 53};
inline constexpr LeField<uint64_t> kVolumeLength{72};  // sectors
inline constexpr LeField<uint32_t> kFatOffset{80};     // sectors
inline constexpr LeField<uint32_t> kFatLength{84};     // sectors of one FAT
inline constexpr LeField<uint32_t> kClusterHeapOffset{88};
inline constexpr LeField<uint32_t> kClusterCount{92};
inline constexpr LeField<uint32_t> kRootCluster{96};
inline constexpr LeField<uint8_t> kBytesPerSectorShift{108};
inline constexpr LeField<uint8_t> kSectorsPerClusterShift{109};
inline constexpr LeField<uint8_t> kFatCount{110};
}  // namespace exfat::boot

// NTFS keeps FAT's fields at FAT's offsets where it uses them, and the FAT
// fields it has no use for zero.
namespace ntfs::boot {
inline constexpr LeField<uint16_t> kBytesPerSector{11};
// Signed: a negative value n means 2^-n sectors.
inline constexpr LeField<uint8_t> kSectorsPerCluster{13};
inline constexpr LeField<uint16_t> kReservedSectors{14};  // always 0
inline constexpr LeField<uint64_t> kTotalSectors{40};
inline constexpr LeField<uint64_t> kMftCluster{48};
// Signed: positive counts clusters, a negative value n means 2^-n bytes.
inline constexpr LeField<uint8_t> kRecordSize{64};
}  // namespace ntfs::boot

}  // namespace vexlo
