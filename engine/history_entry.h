// One entry of the scan history file "config": which source a formatted or
// deep scan read, how far it got, the validators that tell whether the source
// is still unchanged, and the scan folder holding its logs.
//
// On disk an entry is 1,120 little-endian bytes (offsets below); in memory it
// is a plain value with UTF-8 paths. The two paths are stored as UTF-16LE,
// NUL-terminated, in 260 code units each, so a path longer than 259 units, or
// one whose bytes are not UTF-8 (it would not survive the trip through
// UTF-16), cannot be stored at all.
//
// What this program adds to the layout lives where older entries hold zeros
// and older readers do not look: a flags word in the formerly reserved u32 at
// offset 4, and, behind the folder path's terminator, the last 32 bytes of the
// folder field (the unreadable sectors met so far and the medium's
// fingerprint). An entry with a fingerprint therefore leaves its folder path
// 243 units. An entry without one (every entry an older program wrote) never
// matches a medium: its scan cannot be continued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ondisk/field.h"
#include "platform/error_code.h"
#include "storage/medium_fingerprint.h"

namespace vexlo {

inline constexpr std::size_t kHistoryEntryBytes = 1120;

// Disk number that marks an entry (and a scan source) as an image file.
inline constexpr uint32_t kImageDiskNumber = 128;

// UTF-16 code units of each path field, the terminating NUL included.
inline constexpr std::size_t kHistoryPathUnits = 260;

// Where the fields of an entry lie.
namespace history_field {
inline constexpr LeField<uint32_t> kDiskNumber{0};
inline constexpr LeField<uint32_t> kFlags{4};
inline constexpr LeField<uint64_t> kStartSector{8};
inline constexpr LeField<uint64_t> kSectorCount{16};
inline constexpr LeField<uint64_t> kExtentPosition{24};
inline constexpr LeField<uint64_t> kExtentLength{32};
inline constexpr LeField<uint64_t> kExtentOffset{40};
inline constexpr LeField<uint64_t> kSectorsDone{48};
inline constexpr LeField<uint64_t> kFoundCount{56};
inline constexpr LeField<uint64_t> kFreeBytes{64};
inline constexpr LeField<uint64_t> kImageWriteTime{72};
// The two path fields, kHistoryPathUnits UTF-16LE units each.
inline constexpr std::size_t kImagePath = 80;
inline constexpr std::size_t kFolder = kImagePath + kHistoryPathUnits * 2;
// Inside the folder field, behind its path, in entries with a fingerprint.
inline constexpr LeField<uint64_t> kUnreadableSectors{1088};
inline constexpr ByteField kFingerprint{1104, kFingerprintBytes};
}  // namespace history_field

static_assert(history_field::kFolder == 600);
static_assert(history_field::kFolder + kHistoryPathUnits * 2 == kHistoryEntryBytes);
static_assert(history_field::kFingerprint.end() == kHistoryEntryBytes);

// Folder units, the NUL included, that an entry with a fingerprint leaves to
// its path.
inline constexpr std::size_t kFingerprintedFolderUnits =
    (history_field::kUnreadableSectors.offset - history_field::kFolder) / 2;
static_assert(kFingerprintedFolderUnits == 244);

// Bits of the flags word.
namespace history_flag {
// The folder field's end holds a fingerprint and the unreadable count.
inline constexpr uint32_t kFingerprint = 1u << 0;
// Carving's stream-continuation flag is off at the position.
inline constexpr uint32_t kStreamContinuationOff = 1u << 1;
// Carving's MTS flag is on at the position.
inline constexpr uint32_t kMtsFlag = 1u << 2;
}  // namespace history_flag

// Where a scan stopped, all in sectors relative to the partition start except
// the counts. A finished scan has extent_length 0.
struct ScanPosition {
  uint64_t extent_position = 0;
  uint64_t extent_length = 0;
  uint64_t extent_offset = 0;  // offset within the extent
  uint64_t sectors_done = 0;
  uint64_t found_count = 0;
  // Sectors the scan could not read and passed over so far; kept only beside
  // a fingerprint.
  uint64_t unreadable_sectors = 0;
  // What carving's identifications carry from one to the next (a transport
  // stream that may go on; an "mts" file just found), as the identification
  // at the position will find them.
  bool stream_continuation = true;
  bool mts_flag = false;

  bool operator==(const ScanPosition&) const = default;
};

struct HistoryEntry {
  uint32_t disk_number = 0;  // kImageDiskNumber for an image file
  uint64_t start_sector = 0;
  uint64_t sector_count = 0;
  ScanPosition position;
  uint64_t free_bytes = 0;        // validator of a disk scan; 0 for images
  uint64_t image_write_time = 0;  // validator of an image scan (FILETIME)
  // The validator of every scan: the medium as it was read. None in entries
  // an older program wrote, which therefore never match.
  std::optional<MediumFingerprint> fingerprint;
  std::string image_path;  // UTF-8; empty for a disk scan
  std::string folder;      // UTF-8 scan folder, ending in "/"

  bool operator==(const HistoryEntry&) const = default;
};

// Whether `path` can be stored in a path field of `units` UTF-16 units: 0,
// 206 when it needs more than units - 1, 87 when it is not valid UTF-8.
ErrorCode CheckHistoryPath(std::string_view path, std::size_t units = kHistoryPathUnits);

// Writes the 1,120-byte image of `entry`. Fails with the code of
// CheckHistoryPath, leaving `out` unspecified, when a path cannot be stored
// (the folder of an entry with a fingerprint in kFingerprintedFolderUnits).
ErrorCode EncodeHistoryEntry(const HistoryEntry& entry, std::span<uint8_t, kHistoryEntryBytes> out);

// Reads an entry. A path field without its terminating NUL (for the folder
// of an entry with a fingerprint: before the fingerprint's place) makes the
// entry unreadable (87); every other bit pattern decodes.
ErrorCode DecodeHistoryEntry(std::span<const uint8_t, kHistoryEntryBytes> bytes,
                             HistoryEntry* entry);

}  // namespace vexlo
