#include "ondisk/fat_directory_sector.h"

#include <algorithm>
#include <cstring>

#include "ondisk/fat_dir_entry.h"

namespace vexlo::fat {
namespace {

// Long-name entries after the first that the look-ahead accepts before it
// gives the run the benefit of the doubt.
constexpr std::size_t kLongNameLookAhead = 18;

bool AllZero(const uint8_t* begin, const uint8_t* end) {
  return std::all_of(begin, end, [](uint8_t b) { return b == 0; });
}

// Leftover fill patterns repeat with a period that puts bytes 1-14 again at
// 17-30.
bool IsRepeatingFill(const uint8_t* entry) { return std::memcmp(entry + 1, entry + 17, 14) == 0; }

// A run of long-name entries must lead, under one checksum, to its short
// entry (or to a deleted short entry, whose name no longer matches).
bool LongNameRunLeadsToShortEntry(const uint8_t* entry, const uint8_t* end) {
  const uint8_t checksum = entry[13];
  std::size_t further = 0;
  for (const uint8_t* next = entry + kDirEntryBytes; next + kDirEntryBytes <= end;
       next += kDirEntryBytes) {
    const DirEntry e(next);
    if (e.is_long_name()) {
      if (next[13] != checksum) return false;
      if (++further >= kLongNameLookAhead) return true;
      continue;
    }
    return e.is_deleted() || ShortNameChecksum(next) == checksum;
  }
  return true;  // the run goes on in the next sector
}

bool IsPlausibleShortEntry(const uint8_t* entry) {
  const DirEntry e(entry);
  if (e.is_volume_label()) return true;
  if (dir_entry::kCreationTime.Load(e.span()) == 0 ||
      dir_entry::kCreationDate.Load(e.span()) == 0) {
    return false;
  }
  for (std::size_t part_start : {std::size_t{0}, std::size_t{8}}) {
    const std::size_t part_end = part_start == 0 ? 8 : 11;
    bool blank_seen = false;
    for (std::size_t i = part_start; i < part_end; ++i) {
      const uint8_t c = entry[i];
      if (c < 0x20 || c == '.') return false;
      if (blank_seen && c != ' ') return false;
      blank_seen = blank_seen || c == ' ';
    }
  }
  // Double-byte characters come in pairs of high bytes.
  for (std::size_t i = e.is_deleted() ? 1 : 0; i <= 9;) {
    if (entry[i] >= 0x80) {
      if (entry[i + 1] < 0x80) return false;
      i += 2;
    } else {
      ++i;
    }
  }
  return true;
}

}  // namespace

bool IsFatDirectorySector(const uint8_t* sector, std::size_t length) {
  if (length < kDirEntryBytes) return true;
  const uint8_t* const end = sector + length / kDirEntryBytes * kDirEntryBytes;
  for (const uint8_t* entry = sector; entry < end; entry += kDirEntryBytes) {
    if (entry[0] == 0) return entry != sector && AllZero(entry, sector + length);
    const uint8_t* next = entry + kDirEntryBytes < end ? entry + kDirEntryBytes : nullptr;
    if (!IsValidEntry(entry, next) || IsRepeatingFill(entry)) return false;
    const DirEntry e(entry);
    if (e.is_long_name()) {
      if (!LongNameRunLeadsToShortEntry(entry, end)) return false;
    } else if (!IsPlausibleShortEntry(entry)) {
      return false;
    }
  }
  return true;
}

bool IsDirectoryStartSector(const uint8_t* sector, std::size_t length) {
  if (length < 2 * kDirEntryBytes) return false;
  const DirEntry dot(sector);
  const DirEntry dot_dot(sector + kDirEntryBytes);
  // A "." entry is valid only as the first of a matching pair.
  return dot.is_dot() && dot.is_directory() && dot_dot.is_dot_dot() && dot_dot.is_directory() &&
         IsValidEntry(sector, sector + kDirEntryBytes);
}

}  // namespace vexlo::fat
