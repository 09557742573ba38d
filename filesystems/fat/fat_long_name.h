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
#include <string>

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

}  // namespace vexlo::fat
