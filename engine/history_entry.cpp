#include "engine/history_entry.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "ondisk/endian.h"
#include "platform/text.h"

namespace vexlo {
namespace {

constexpr std::size_t kPathFieldBytes = kHistoryPathUnits * 2;

// The path as UTF-16 units, or the reason it cannot be stored.
ErrorCode ToPathUnits(std::string_view path, std::u16string* units) {
  // An embedded NUL would end the stored text early, and bytes that are not
  // UTF-8 come back as U+FFFD: either way the stored path would name
  // something else, so refuse it rather than store a wrong one.
  if (path.find('\0') != std::string_view::npos) return err::kInvalidParameter;
  *units = platform::Utf8ToUtf16(path);
  if (platform::Utf16ToUtf8(*units) != path) return err::kInvalidParameter;
  if (units->size() > kHistoryPathUnits - 1) return err::kFilenameTooLong;
  return err::kSuccess;
}

void StorePath(std::span<uint8_t> field, const std::u16string& units) {
  std::fill(field.begin(), field.end(), uint8_t{0});
  for (std::size_t i = 0; i < units.size(); ++i) StoreLe16(field, i * 2, units[i]);
}

bool LoadPath(std::span<const uint8_t> field, std::string* path) {
  for (std::size_t unit = 0; unit < kHistoryPathUnits; ++unit) {
    if (field[unit * 2] == 0 && field[unit * 2 + 1] == 0) {
      *path = platform::Utf16LeBytesToUtf8(field.first(unit * 2));
      return true;
    }
  }
  return false;
}

}  // namespace

ErrorCode CheckHistoryPath(std::string_view path) {
  std::u16string units;
  return ToPathUnits(path, &units);
}

ErrorCode EncodeHistoryEntry(const HistoryEntry& entry,
                             std::span<uint8_t, kHistoryEntryBytes> out) {
  namespace off = history_offset;
  std::u16string image_units;
  std::u16string folder_units;
  if (ErrorCode rc = ToPathUnits(entry.image_path, &image_units); !rc.ok()) return rc;
  if (ErrorCode rc = ToPathUnits(entry.folder, &folder_units); !rc.ok()) return rc;

  StoreLe32(out, off::kDiskNumber, entry.disk_number);
  StoreLe32(out, off::kReserved, 0);
  StoreLe64(out, off::kStartSector, entry.start_sector);
  StoreLe64(out, off::kSectorCount, entry.sector_count);
  StoreLe64(out, off::kExtentPosition, entry.position.extent_position);
  StoreLe64(out, off::kExtentLength, entry.position.extent_length);
  StoreLe64(out, off::kExtentOffset, entry.position.extent_offset);
  StoreLe64(out, off::kSectorsDone, entry.position.sectors_done);
  StoreLe64(out, off::kFoundCount, entry.position.found_count);
  StoreLe64(out, off::kFreeBytes, entry.free_bytes);
  StoreLe64(out, off::kImageWriteTime, entry.image_write_time);
  StorePath(std::span<uint8_t>(out).subspan(off::kImagePath, kPathFieldBytes), image_units);
  StorePath(std::span<uint8_t>(out).subspan(off::kFolder, kPathFieldBytes), folder_units);
  return err::kSuccess;
}

ErrorCode DecodeHistoryEntry(std::span<const uint8_t, kHistoryEntryBytes> bytes,
                             HistoryEntry* entry) {
  namespace off = history_offset;
  HistoryEntry decoded;
  decoded.disk_number = LoadLe32(bytes, off::kDiskNumber);
  decoded.start_sector = LoadLe64(bytes, off::kStartSector);
  decoded.sector_count = LoadLe64(bytes, off::kSectorCount);
  decoded.position.extent_position = LoadLe64(bytes, off::kExtentPosition);
  decoded.position.extent_length = LoadLe64(bytes, off::kExtentLength);
  decoded.position.extent_offset = LoadLe64(bytes, off::kExtentOffset);
  decoded.position.sectors_done = LoadLe64(bytes, off::kSectorsDone);
  decoded.position.found_count = LoadLe64(bytes, off::kFoundCount);
  decoded.free_bytes = LoadLe64(bytes, off::kFreeBytes);
  decoded.image_write_time = LoadLe64(bytes, off::kImageWriteTime);
  const std::span<const uint8_t> all(bytes);
  if (!LoadPath(all.subspan(off::kImagePath, kPathFieldBytes), &decoded.image_path) ||
      !LoadPath(all.subspan(off::kFolder, kPathFieldBytes), &decoded.folder)) {
    return err::kInvalidParameter;
  }
  *entry = std::move(decoded);
  return err::kSuccess;
}

}  // namespace vexlo
