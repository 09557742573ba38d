// 32-byte FAT directory entries: field access, the validity rules that tell a
// real entry from leftover bytes in a reused or free cluster, and short names.
//
// Deleted directories and free clusters hold whatever was last written there,
// so every entry is checked before it is believed; an entry that fails is
// skipped on its own and never stops the directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "ondisk/field.h"

namespace vexlo::fat {

inline constexpr std::size_t kDirEntryBytes = 32;
inline constexpr uint8_t kDeletedMark = 0xE5;

inline constexpr uint8_t kAttrReadOnly = 0x01;
inline constexpr uint8_t kAttrVolumeLabel = 0x08;
inline constexpr uint8_t kAttrLongName = 0x0F;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;

// Where the fields of a short entry lie. Times and dates are FAT's local
// wall-clock words (fat_time.h).
namespace dir_entry {
inline constexpr ByteField kName{0, 11};  // 8 + 3, blank-padded
inline constexpr LeField<uint8_t> kAttributes{11};
inline constexpr LeField<uint8_t> kCreationTenths{13};  // units of 10 ms, 0-199
inline constexpr LeField<uint16_t> kCreationTime{14};
inline constexpr LeField<uint16_t> kCreationDate{16};
inline constexpr LeField<uint16_t> kAccessDate{18};
inline constexpr LeField<uint16_t> kClusterHigh{20};  // FAT32 only
inline constexpr LeField<uint16_t> kModifiedTime{22};
inline constexpr LeField<uint16_t> kModifiedDate{24};
inline constexpr LeField<uint16_t> kClusterLow{26};
inline constexpr LeField<uint32_t> kSize{28};
}  // namespace dir_entry

// A non-owning view of one entry; the 32 bytes must outlive it.
class DirEntry {
 public:
  explicit DirEntry(const uint8_t* bytes) : b_(bytes) {}

  const uint8_t* bytes() const { return b_; }
  uint8_t first_byte() const { return b_[0]; }
  bool is_end() const { return b_[0] == 0x00; }
  bool is_deleted() const { return b_[0] == kDeletedMark; }
  uint8_t attributes() const { return dir_entry::kAttributes.Load(span()); }
  bool is_long_name() const { return attributes() == kAttrLongName; }
  bool is_volume_label() const { return attributes() == kAttrVolumeLabel; }
  bool is_directory() const { return !is_long_name() && (attributes() & kAttrDirectory) != 0; }
  bool is_archive() const { return !is_long_name() && (attributes() & kAttrArchive) != 0; }
  // "." with a blank second byte, and a name that starts "..".
  bool is_dot() const { return b_[0] == '.' && b_[1] == ' '; }
  bool is_dot_dot() const { return b_[0] == '.' && b_[1] == '.'; }

  uint16_t cluster_high() const { return dir_entry::kClusterHigh.Load(span()); }
  uint16_t cluster_low() const { return dir_entry::kClusterLow.Load(span()); }
  // The high half counts on FAT32 only; FAT12/16 keep other data there.
  uint32_t FirstCluster(bool fat32) const {
    return fat32 ? ((uint32_t{cluster_high()} << 16) | cluster_low()) & 0x0FFFFFFF : cluster_low();
  }
  uint32_t size() const { return dir_entry::kSize.Load(span()); }

  uint64_t created() const;   // FILETIME, with the tenths byte
  uint64_t accessed() const;  // date at midnight
  uint64_t modified() const;

  std::span<const uint8_t> span() const { return {b_, kDirEntryBytes}; }

 private:
  const uint8_t* b_;
};

// Whether `entry` is a real entry. `next` is the entry after it in the same
// directory buffer, or null at the buffer's end; it is needed because a "."
// entry is only believed together with the ".." entry that follows it.
bool IsValidEntry(const uint8_t* entry, const uint8_t* next);

// The display name of a short entry: base name and extension with trailing
// blanks removed, joined by "." when there is an extension, A-Z lower-cased,
// decoded from code page 437 to UTF-8; the deleted mark becomes "!".
std::string ShortEntryName(const DirEntry& entry);

// The checksum that long-name entries carry of their short entry's 11 name
// bytes.
uint8_t ShortNameChecksum(const uint8_t* name11);

}  // namespace vexlo::fat
