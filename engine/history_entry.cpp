#include "engine/history_entry.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace vexlo {
namespace {

constexpr std::size_t kPathFieldBytes = kHistoryPathUnits * 2;

uint64_t LoadLe(std::span<const uint8_t> bytes, std::size_t offset, std::size_t width) {
  uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

void StoreLe(std::span<uint8_t> bytes, std::size_t offset, uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

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
  for (std::size_t i = 0; i < units.size(); ++i) StoreLe(field, i * 2, units[i], 2);
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

  StoreLe(out, off::kDiskNumber, entry.disk_number, 4);
  StoreLe(out, off::kReserved, 0, 4);
  StoreLe(out, off::kStartSector, entry.start_sector, 8);
  StoreLe(out, off::kSectorCount, entry.sector_count, 8);
  StoreLe(out, off::kExtentPosition, entry.position.extent_position, 8);
  StoreLe(out, off::kExtentLength, entry.position.extent_length, 8);
  StoreLe(out, off::kExtentOffset, entry.position.extent_offset, 8);
  StoreLe(out, off::kSectorsDone, entry.position.sectors_done, 8);
  StoreLe(out, off::kFoundCount, entry.position.found_count, 8);
  StoreLe(out, off::kFreeBytes, entry.free_bytes, 8);
  StoreLe(out, off::kImageWriteTime, entry.image_write_time, 8);
  StorePath(std::span<uint8_t>(out).subspan(off::kImagePath, kPathFieldBytes), image_units);
  StorePath(std::span<uint8_t>(out).subspan(off::kFolder, kPathFieldBytes), folder_units);
  return err::kSuccess;
}

ErrorCode DecodeHistoryEntry(std::span<const uint8_t, kHistoryEntryBytes> bytes,
                             HistoryEntry* entry) {
  namespace off = history_offset;
  HistoryEntry decoded;
  decoded.disk_number = static_cast<uint32_t>(LoadLe(bytes, off::kDiskNumber, 4));
  decoded.start_sector = LoadLe(bytes, off::kStartSector, 8);
  decoded.sector_count = LoadLe(bytes, off::kSectorCount, 8);
  decoded.position.extent_position = LoadLe(bytes, off::kExtentPosition, 8);
  decoded.position.extent_length = LoadLe(bytes, off::kExtentLength, 8);
  decoded.position.extent_offset = LoadLe(bytes, off::kExtentOffset, 8);
  decoded.position.sectors_done = LoadLe(bytes, off::kSectorsDone, 8);
  decoded.position.found_count = LoadLe(bytes, off::kFoundCount, 8);
  decoded.free_bytes = LoadLe(bytes, off::kFreeBytes, 8);
  decoded.image_write_time = LoadLe(bytes, off::kImageWriteTime, 8);
  const std::span<const uint8_t> all(bytes);
  if (!LoadPath(all.subspan(off::kImagePath, kPathFieldBytes), &decoded.image_path) ||
      !LoadPath(all.subspan(off::kFolder, kPathFieldBytes), &decoded.folder)) {
    return err::kInvalidParameter;
  }
  *entry = std::move(decoded);
  return err::kSuccess;
}

}  // namespace vexlo
