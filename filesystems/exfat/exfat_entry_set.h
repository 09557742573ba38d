// exFAT directory entries: entry sets, their checksum, names and time stamps.
//
// A file or folder is an entry set of 32-byte entries: a file entry (0x85),
// its stream extension (0xC0) and one to seventeen file-name entries (0xC1)
// of 15 UTF-16 units each, possibly followed by benign secondaries. Deleting
// clears bit 7 of every entry's type (0x05, 0x40, 0x41) and leaves the rest,
// which is what makes deleted sets readable.
//
// Sets come from the medium and are untrusted: EntrySetAssembler bounds a set
// by the largest count exFAT allows, and ParseEntrySet refuses a set whose
// stream extension or name entries are not where and what they must be.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ondisk/field.h"

namespace vexlo::exfat {

inline constexpr std::size_t kEntryBytes = 32;
// A file entry is followed by 2 to 18 secondaries: stream, up to 17 names.
inline constexpr uint8_t kMinSecondaryCount = 2;
inline constexpr uint8_t kMaxSecondaryCount = 18;
inline constexpr std::size_t kMaxSetEntries = 1 + kMaxSecondaryCount;
inline constexpr std::size_t kNameUnitsPerEntry = 15;

// Entry types with the in-use bit (bit 7) cleared.
inline constexpr uint8_t kTypeEndOfDirectory = 0x00;
inline constexpr uint8_t kTypeInUse = 0x80;
inline constexpr uint8_t kTypeFile = 0x05;
inline constexpr uint8_t kTypeStream = 0x40;
inline constexpr uint8_t kTypeName = 0x41;
inline constexpr uint8_t kTypeBitmap = 0x01;  // allocation bitmap, in use: 0x81

inline constexpr uint16_t kAttributeDirectory = 0x10;
inline constexpr uint8_t kFlagNoFatChain = 0x02;

// Fields of the entries, by entry type.
namespace file_entry {
inline constexpr LeField<uint8_t> kSecondaryCount{1};
inline constexpr LeField<uint16_t> kSetChecksum{2};
inline constexpr LeField<uint16_t> kAttributes{4};
inline constexpr LeField<uint32_t> kCreated{8};  // time stamps, DOS layout
inline constexpr LeField<uint32_t> kModified{12};
inline constexpr LeField<uint32_t> kAccessed{16};
}  // namespace file_entry
// The secondaries that place data (stream extension, allocation bitmap).
namespace data_entry {
inline constexpr LeField<uint8_t> kFlags{1};
inline constexpr LeField<uint32_t> kFirstCluster{20};
inline constexpr LeField<uint64_t> kDataLength{24};
}  // namespace data_entry
namespace stream_entry {
inline constexpr LeField<uint8_t> kNameLength{3};
inline constexpr LeField<uint64_t> kValidDataLength{8};
}  // namespace stream_entry
namespace name_entry {
inline constexpr std::size_t kFirstUnit = 2;  // 15 UTF-16LE units from here
}  // namespace name_entry

// Type code of an entry with the in-use bit cleared.
inline uint8_t BaseType(const uint8_t* entry) { return entry[0] & 0x7F; }
inline bool IsSecondary(const uint8_t* entry) { return (entry[0] & 0x40) != 0; }

// One exFAT time stamp: local date and time (DOS layout, 2-second steps), the
// 10 ms increment (0-199) and the UTC offset byte (bit 7: valid; bits 0-6:
// signed quarter hours).
struct ExFatTimestamp {
  uint32_t stamp = 0;
  uint8_t increment_10ms = 0;
  uint8_t utc_offset = 0;

  // FILETIME of the local wall-clock time, as FAT times are shown; 0 for an
  // impossible date.
  uint64_t ToFiletime() const;
  // The offset from UTC in minutes, when the volume recorded one.
  std::optional<int32_t> UtcOffsetMinutes() const;
};

struct FileEntrySet {
  bool deleted = false;      // the file entry's in-use bit was clear
  bool checksum_ok = false;  // the set checksum matched
  uint16_t attributes = 0;
  bool no_fat_chain = false;  // data lie in consecutive clusters
  uint64_t valid_data_length = 0;
  uint64_t data_length = 0;
  uint32_t first_cluster = 0;
  std::u16string name;
  ExFatTimestamp created, modified, accessed;

  bool is_directory() const { return (attributes & kAttributeDirectory) != 0; }
};

// The set checksum over `entries` (the whole set), with the in-use bit of
// each entry's type set, as it was when the set was written.
uint16_t EntrySetChecksum(std::span<const uint8_t> entries);

// Parses a complete set (1 + its secondary count entries). Empty when the
// set is not plausible: a secondary count out of range, no stream extension
// second, a name length of 0, fewer name entries than the name needs, entries
// whose in-use bits disagree, a valid length above the data length. A failed
// checksum alone does not refuse the set (see checksum_ok).
std::optional<FileEntrySet> ParseEntrySet(std::span<const uint8_t> entries);

// Collects the entries of one set as a directory is read entry by entry,
// across sector and cluster boundaries.
class EntrySetAssembler {
 public:
  // Offers the next entry, read from absolute sector `sector`. Returns true
  // when it completed a set (then see set() and stream_sector()).
  bool Add(const uint8_t* entry, uint64_t sector);
  void Reset() {
    count_ = 0;
    expected_ = 0;
  }

  std::span<const uint8_t> set() const { return {bytes_.data(), count_ * kEntryBytes}; }
  // Sector of the set's stream extension.
  uint64_t stream_sector() const { return stream_sector_; }

 private:
  std::array<uint8_t, kMaxSetEntries * kEntryBytes> bytes_{};
  std::size_t count_ = 0;
  std::size_t expected_ = 0;  // 0: no set open
  uint64_t stream_sector_ = 0;
};

}  // namespace vexlo::exfat
