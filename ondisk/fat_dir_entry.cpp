#include "ondisk/fat_dir_entry.h"

#include <cstring>

#include "ondisk/fat_time.h"
#include "platform/filetime.h"
#include "platform/text.h"

namespace vexlo::fat {
namespace {

// Entries of live files carry dates a real clock wrote; leftover bytes that
// happen to look like an entry rarely do.
const uint64_t kEarliestLiveTime = platform::FiletimeFromCalendar(1990, 1, 1, 0, 0, 0);
const uint64_t kLatestLiveTime = platform::FiletimeFromCalendar(2050, 1, 1, 0, 0, 0);

bool InLiveRange(uint64_t filetime) {
  return filetime >= kEarliestLiveTime && filetime <= kLatestLiveTime;
}

bool IsForbiddenNameByte(uint8_t c) {
  if (c < 0x20 || (c >= 'a' && c <= 'z')) return true;
  return std::strchr("\"*.:<>?\\|", c) != nullptr;
}

bool SameTimes(const DirEntry& a, const DirEntry& b) {
  return a.created() == b.created() && a.accessed() == b.accessed() && a.modified() == b.modified();
}

std::string TrimTrailingBlanks(const uint8_t* bytes, std::size_t length) {
  while (length > 0 && bytes[length - 1] == ' ') --length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

uint64_t DirEntry::created() const {
  return FatCreationToFiletime(dir_entry::kCreationDate.Load(span()),
                               dir_entry::kCreationTime.Load(span()),
                               dir_entry::kCreationTenths.Load(span()));
}
uint64_t DirEntry::accessed() const {
  return FatDateToFiletime(dir_entry::kAccessDate.Load(span()));
}
uint64_t DirEntry::modified() const {
  return FatDateTimeToFiletime(dir_entry::kModifiedDate.Load(span()),
                               dir_entry::kModifiedTime.Load(span()));
}

bool IsValidEntry(const uint8_t* bytes, const uint8_t* next_bytes) {
  const DirEntry entry(bytes);
  const uint8_t attributes = entry.attributes();
  const bool long_name = entry.is_long_name();

  if (entry.is_dot() && entry.is_directory() && entry.size() == 0 && next_bytes != nullptr) {
    const DirEntry next(next_bytes);
    if (next.is_dot_dot() && next.is_directory() && next.size() == 0 && SameTimes(entry, next)) {
      return true;
    }
  }
  // Long-name entries keep name characters where short entries keep the size
  // and the high cluster word, so the size rule does not apply to them.
  if (!long_name && entry.size() == 0 && !entry.is_directory() &&
      (entry.cluster_high() != 0 || entry.cluster_low() != 0)) {
    return false;
  }
  if (attributes == kAttrVolumeLabel) {
    if (entry.size() != 0 || entry.cluster_high() != 0 || entry.cluster_low() != 0) return false;
  } else if ((attributes & kAttrVolumeLabel) != 0 && !long_name) {
    return false;
  }
  if (attributes >= 0x40) return false;
  if (entry.is_directory() && (attributes & kAttrReadOnly) != 0) return false;
  if (long_name) {
    // Twenty entries hold the longest legal name (255 characters).
    const uint8_t sequence = bytes[0] & ~0x40;
    if (!entry.is_deleted() && sequence > 20) return false;
    if (entry.cluster_low() != 0) return false;
    return true;
  }
  // The name bytes reject most random sectors; check them before the dates,
  // whose conversion costs more.
  if (!entry.is_volume_label()) {
    for (int i = 0; i < 11; ++i) {
      if (IsForbiddenNameByte(bytes[i])) return false;
    }
  }
  if (!entry.is_deleted() && !entry.is_directory() &&
      !(InLiveRange(entry.created()) && InLiveRange(entry.accessed()) &&
        InLiveRange(entry.modified()))) {
    return false;
  }
  if (entry.is_directory() && entry.size() != 0 && !entry.is_deleted()) return false;
  if (entry.is_volume_label()) return true;
  return (attributes & (kAttrDirectory | kAttrArchive)) != 0;
}

std::string ShortEntryName(const DirEntry& entry) {
  const uint8_t* b = entry.bytes();
  std::string raw = TrimTrailingBlanks(b, 8);
  if (b[8] != ' ') {
    raw += '.';
    raw += TrimTrailingBlanks(b + 8, 3);
  }
  if (!raw.empty() && static_cast<uint8_t>(raw[0]) == kDeletedMark) raw[0] = '!';
  for (char& c : raw) c = platform::ToLowerAscii(c);
  return platform::Cp437ToUtf8(raw);
}

uint8_t ShortNameChecksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) {
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  }
  return sum;
}

}  // namespace vexlo::fat
