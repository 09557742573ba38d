#include "filesystems/exfat/exfat_entry_set.h"

#include <algorithm>
#include <cstring>

#include "ondisk/fat_time.h"

namespace vexlo::exfat {
uint64_t ExFatTimestamp::ToFiletime() const {
  if (increment_10ms > 199) return 0;
  return fat::FatCreationToFiletime(static_cast<uint16_t>(stamp >> 16),
                                    static_cast<uint16_t>(stamp & 0xFFFF), increment_10ms);
}

std::optional<int32_t> ExFatTimestamp::UtcOffsetMinutes() const {
  if ((utc_offset & 0x80) == 0) return std::nullopt;
  // Seven-bit two's complement: 0x40 and up are west of Greenwich.
  const int32_t quarters =
      (utc_offset & 0x40) != 0 ? int32_t{utc_offset & 0x7F} - 128 : int32_t{utc_offset & 0x7F};
  return quarters * 15;
}

uint16_t EntrySetChecksum(std::span<const uint8_t> entries) {
  uint16_t sum = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i == 2 || i == 3) continue;  // the checksum field itself
    uint8_t byte = entries[i];
    if (i % kEntryBytes == 0) byte |= kTypeInUse;
    sum = static_cast<uint16_t>(((sum & 1) != 0 ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

std::optional<FileEntrySet> ParseEntrySet(std::span<const uint8_t> entries) {
  const std::size_t count = entries.size() / kEntryBytes;
  if (count < 1 + kMinSecondaryCount || count > kMaxSetEntries) return std::nullopt;
  const uint8_t* file = entries.data();
  const uint8_t* stream = file + kEntryBytes;
  const std::span<const uint8_t> stream_bytes = entries.subspan(kEntryBytes, kEntryBytes);
  if (BaseType(file) != kTypeFile || file[1] + 1u != count || BaseType(stream) != kTypeStream) {
    return std::nullopt;
  }
  const uint8_t in_use = file[0] & kTypeInUse;
  for (std::size_t i = 1; i < count; ++i) {
    if ((entries[i * kEntryBytes] & kTypeInUse) != in_use) return std::nullopt;
  }
  FileEntrySet set;
  set.deleted = in_use == 0;
  set.checksum_ok = EntrySetChecksum(entries) == file_entry::kSetChecksum.Load(entries);
  set.attributes = file_entry::kAttributes.Load(entries);
  set.created = {file_entry::kCreated.Load(entries), file[20], file[22]};
  set.modified = {file_entry::kModified.Load(entries), file[21], file[23]};
  set.accessed = {file_entry::kAccessed.Load(entries), 0, file[24]};
  set.no_fat_chain = (data_entry::kFlags.Load(stream_bytes) & kFlagNoFatChain) != 0;
  const std::size_t name_length = stream_entry::kNameLength.Load(stream_bytes);
  set.valid_data_length = stream_entry::kValidDataLength.Load(stream_bytes);
  set.first_cluster = data_entry::kFirstCluster.Load(stream_bytes);
  set.data_length = data_entry::kDataLength.Load(stream_bytes);
  const std::size_t name_entries = (name_length + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry;
  if (name_length == 0 || 2 + name_entries > count || set.valid_data_length > set.data_length) {
    return std::nullopt;
  }
  set.name.reserve(name_length);
  for (std::size_t e = 0; e < name_entries; ++e) {
    const std::span<const uint8_t> name = entries.subspan((2 + e) * kEntryBytes, kEntryBytes);
    if (BaseType(name.data()) != kTypeName) return std::nullopt;
    const std::size_t units = std::min(kNameUnitsPerEntry, name_length - set.name.size());
    for (std::size_t u = 0; u < units; ++u) {
      set.name.push_back(static_cast<char16_t>(LoadLe16(name, name_entry::kFirstUnit + 2 * u)));
    }
  }
  return set;
}

bool EntrySetAssembler::Add(const uint8_t* entry, uint64_t sector) {
  if (BaseType(entry) == kTypeFile) {
    // A file entry always starts a new set; one still open was cut short.
    count_ = 0;
    expected_ = 0;
    if (entry[1] < kMinSecondaryCount || entry[1] > kMaxSecondaryCount) return false;
    expected_ = 1u + entry[1];
  } else if (expected_ == 0 || !IsSecondary(entry)) {
    Reset();
    return false;
  }
  if (count_ == 1) stream_sector_ = sector;
  std::memcpy(bytes_.data() + count_ * kEntryBytes, entry, kEntryBytes);
  if (++count_ < expected_) return false;
  expected_ = 0;
  return true;
}

}  // namespace vexlo::exfat
