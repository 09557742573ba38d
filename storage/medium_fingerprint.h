// A fingerprint of a medium: what tells one card from another of the same
// size and volume id, and a card from itself once a file system on it was
// written to or made anew.
//
// A saved scan may only be continued on the medium it read: its records
// name sectors, and on another medium those sectors hold other bytes. A
// mounted volume's free space tells little and an unmounted one tells
// nothing, so the fingerprint looks at the medium itself. It is a 128-bit
// hash of
//   - the stretch's length and sector size, and the device's identity
//     (serial, model; platform::DiskIdentity, empty for an image file);
//   - sector 0 and the last sector;
//   - the sectors a file system rewrites whenever it is written or made:
//     the FAT32 FSInfo sector, the first FAT sector and the first sector of
//     the root folder (FAT and exFAT), $MFT record 0 (NTFS);
//   - on a whole disk with a partition table (MBR or GPT), the same for the
//     volume at the start of each partition.
// A sector that cannot be read counts as such, so a medium whose sector 0 is
// unreadable still gets a fingerprint, which no other medium shares.
//
// The medium is only read, at most a few dozen sectors. One thread.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo {

inline constexpr std::size_t kFingerprintBytes = 16;

struct MediumFingerprint {
  std::array<uint8_t, kFingerprintBytes> bytes{};

  bool operator==(const MediumFingerprint&) const = default;
};

// The fingerprint of the `sector_count` sectors of `sector_bytes` from
// `first_sector` of `disk` (a partition, a free area, a whole disk or an
// image), with the device's `identity`. 87 for an empty stretch or a sector
// size the reads cannot take.
ErrorCode FingerprintMedium(DiskHandle& disk, uint64_t first_sector, uint64_t sector_count,
                            uint32_t sector_bytes, std::string_view identity,
                            MediumFingerprint* fingerprint);

}  // namespace vexlo
