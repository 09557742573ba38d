// Assembly of a long file name from the long-name entries before its short
// entry.
//
// Long-name entries lie in reverse order in front of their short entry, the
// last part of the name first. Deleting a file overwrites the first byte of
// every one of them, sequence numbers included, so the parts are placed by
// position instead: each entry's 13 characters go just before the previous
// entry's. What order information survives is still used: entries of one name
// share the checksum of their short entry, so a change of checksum starts a
// new name, and a live short entry only takes a name whose checksum matches
// its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "ondisk/fat_dir_entry.h"

namespace vexlo::fat {

// The longest legal name, 255 characters, fills 20 entries.
inline constexpr std::size_t kMaxLongNameEntries = 20;
inline constexpr std::size_t kLongNameCharsPerEntry = 13;

class LongNameCollector {
 public:
  // Adds one long-name entry. Returns false when the entry would be the 21st
  // of one name: no legal directory holds that, so the caller should stop
  // believing this directory.
  bool Add(const DirEntry& entry);

  // Forgets the collected parts (an invalid or unrelated entry came between).
  void Reset() { count_ = 0; }

  bool empty() const { return count_ == 0; }

  // The collected name as UTF-8 for `short_entry`, and forgets it. Empty when
  // nothing was collected, the name is empty, or a live short entry's checksum
  // shows that the parts belong to another entry.
  std::string TakeFor(const DirEntry& short_entry);

 private:
  std::array<char16_t, kMaxLongNameEntries * kLongNameCharsPerEntry> chars_{};
  std::size_t count_ = 0;  // entries collected
  uint8_t checksum_ = 0;
};

// Walks the entries of `bytes` up to the end mark, gathering long names in
// `long_name`, which may already hold the first parts of a name from the
// bytes before (a name may span two clusters). `on_long_part(index, entry)`
// sees each long-name entry and `on_named(index, entry, name)` each short
// entry other than a volume label, with its long name or else its short one.
// An entry that is no valid directory entry drops the parts gathered. False
// when the walk stopped early: at the end mark, or at a name longer than a
// legal one, which no directory holds.
template <typename OnLongPart, typename OnNamed>
bool WalkDirectoryEntries(std::span<const uint8_t> bytes, LongNameCollector& long_name,
                          OnLongPart&& on_long_part, OnNamed&& on_named) {
  const std::size_t entries = bytes.size() / kDirEntryBytes;
  for (std::size_t i = 0; i < entries; ++i) {
    const uint8_t* raw = bytes.data() + i * kDirEntryBytes;
    const DirEntry entry(raw);
    if (entry.is_end()) return false;
    const uint8_t* next = i + 1 < entries ? raw + kDirEntryBytes : nullptr;
    if (!IsValidEntry(raw, next)) {
      long_name.Reset();
      continue;
    }
    if (entry.is_long_name()) {
      on_long_part(i, entry);
      if (!long_name.Add(entry)) return false;
      continue;
    }
    if (entry.is_volume_label()) {
      long_name.Reset();
      continue;
    }
    std::string name = long_name.TakeFor(entry);
    if (name.empty()) name = ShortEntryName(entry);
    on_named(i, entry, std::move(name));
  }
  return true;
}

}  // namespace vexlo::fat
