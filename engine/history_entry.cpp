#include "engine/history_entry.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "ondisk/endian.h"
#include "platform/text.h"

namespace vexlo {
namespace {

constexpr std::size_t kPathFieldBytes = kHistoryPathUnits * 2;

// The path as UTF-16 units, or the reason it cannot be stored in `capacity`
// units.
ErrorCode ToPathUnits(std::string_view path, std::size_t capacity, std::u16string* units) {
  // An embedded NUL would end the stored text early, and bytes that are not
  // UTF-8 come back as U+FFFD: either way the stored path would name
  // something else, so refuse it rather than store a wrong one.
  if (path.find('\0') != std::string_view::npos) return err::kInvalidParameter;
  *units = platform::Utf8ToUtf16(path);
  if (platform::Utf16ToUtf8(*units) != path) return err::kInvalidParameter;
  if (units->size() > capacity - 1) return err::kFilenameTooLong;
  return err::kSuccess;
}

void StorePath(std::span<uint8_t> field, const std::u16string& units) {
  std::fill(field.begin(), field.end(), uint8_t{0});
  for (std::size_t i = 0; i < units.size(); ++i) StoreLe16(field, i * 2, units[i]);
}

bool LoadPath(std::span<const uint8_t> field, std::size_t capacity, std::string* path) {
  for (std::size_t unit = 0; unit < capacity; ++unit) {
    if (field[unit * 2] == 0 && field[unit * 2 + 1] == 0) {
      *path = platform::Utf16LeBytesToUtf8(field.first(unit * 2));
      return true;
    }
  }
  return false;
}

}  // namespace

ErrorCode CheckHistoryPath(std::string_view path, std::size_t units) {
  std::u16string ignored;
  return ToPathUnits(path, units, &ignored);
}

ErrorCode EncodeHistoryEntry(const HistoryEntry& entry,
                             std::span<uint8_t, kHistoryEntryBytes> out) {
  namespace field = history_field;
  const std::size_t folder_capacity =
      entry.fingerprint ? kFingerprintedFolderUnits : kHistoryPathUnits;
  std::u16string image_units;
  std::u16string folder_units;
  if (ErrorCode rc = ToPathUnits(entry.image_path, kHistoryPathUnits, &image_units); !rc.ok()) {
    return rc;
  }
  if (ErrorCode rc = ToPathUnits(entry.folder, folder_capacity, &folder_units); !rc.ok()) {
    return rc;
  }

  uint32_t flags = 0;
  if (entry.fingerprint) flags |= history_flag::kFingerprint;
  if (!entry.position.stream_continuation) flags |= history_flag::kStreamContinuationOff;
  if (entry.position.mts_flag) flags |= history_flag::kMtsFlag;
  field::kDiskNumber.Store(out, entry.disk_number);
  field::kFlags.Store(out, flags);
  field::kStartSector.Store(out, entry.start_sector);
  field::kSectorCount.Store(out, entry.sector_count);
  field::kExtentPosition.Store(out, entry.position.extent_position);
  field::kExtentLength.Store(out, entry.position.extent_length);
  field::kExtentOffset.Store(out, entry.position.extent_offset);
  field::kSectorsDone.Store(out, entry.position.sectors_done);
  field::kFoundCount.Store(out, entry.position.found_count);
  field::kFreeBytes.Store(out, entry.free_bytes);
  field::kImageWriteTime.Store(out, entry.image_write_time);
  StorePath(std::span<uint8_t>(out).subspan(field::kImagePath, kPathFieldBytes), image_units);
  StorePath(std::span<uint8_t>(out).subspan(field::kFolder, kPathFieldBytes), folder_units);
  if (entry.fingerprint) {
    field::kUnreadableSectors.Store(out, entry.position.unreadable_sectors);
    std::copy(entry.fingerprint->bytes.begin(), entry.fingerprint->bytes.end(),
              out.begin() + field::kFingerprint.offset);
  }
  return err::kSuccess;
}

ErrorCode DecodeHistoryEntry(std::span<const uint8_t, kHistoryEntryBytes> bytes,
                             HistoryEntry* entry) {
  namespace field = history_field;
  HistoryEntry decoded;
  const uint32_t flags = field::kFlags.Load(bytes);
  const bool fingerprinted = (flags & history_flag::kFingerprint) != 0;
  decoded.disk_number = field::kDiskNumber.Load(bytes);
  decoded.start_sector = field::kStartSector.Load(bytes);
  decoded.sector_count = field::kSectorCount.Load(bytes);
  decoded.position.extent_position = field::kExtentPosition.Load(bytes);
  decoded.position.extent_length = field::kExtentLength.Load(bytes);
  decoded.position.extent_offset = field::kExtentOffset.Load(bytes);
  decoded.position.sectors_done = field::kSectorsDone.Load(bytes);
  decoded.position.found_count = field::kFoundCount.Load(bytes);
  decoded.position.stream_continuation = (flags & history_flag::kStreamContinuationOff) == 0;
  decoded.position.mts_flag = (flags & history_flag::kMtsFlag) != 0;
  decoded.free_bytes = field::kFreeBytes.Load(bytes);
  decoded.image_write_time = field::kImageWriteTime.Load(bytes);
  const std::span<const uint8_t> all(bytes);
  if (!LoadPath(all.subspan(field::kImagePath, kPathFieldBytes), kHistoryPathUnits,
                &decoded.image_path) ||
      !LoadPath(all.subspan(field::kFolder, kPathFieldBytes),
                fingerprinted ? kFingerprintedFolderUnits : kHistoryPathUnits, &decoded.folder)) {
    return err::kInvalidParameter;
  }
  if (fingerprinted) {
    decoded.position.unreadable_sectors = field::kUnreadableSectors.Load(bytes);
    MediumFingerprint fingerprint;
    std::copy_n(all.begin() + field::kFingerprint.offset, kFingerprintBytes,
                fingerprint.bytes.begin());
    decoded.fingerprint = fingerprint;
  }
  *entry = std::move(decoded);
  return err::kSuccess;
}

}  // namespace vexlo
