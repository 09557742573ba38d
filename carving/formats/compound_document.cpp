#include "carving/formats/compound_document.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv;
constexpr std::string_view kWordClass =
    "\x06\x09\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kExcelClassA =
    "\x20\x08\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kExcelClassB =
    "\x10\x08\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kPowerPointClass =
    "\x10\x8D\x81\x64\x9B\x4F\xCF\x11\x86\xEA\x00\xAA\x00\xB9\x29\xE8"sv;
constexpr std::string_view kFallbackMark = "\x01\x00\xFE\xFF\x03\x0A"sv;
constexpr std::string_view kWordCloser = "Microsoft Office Word \xCE\xC4\xB5\xB5"sv;

constexpr uint32_t kEndOfChain = 0xFFFFFFFC;
constexpr uint32_t kFreeEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kHeaderIndexEntries = 109;

// Compares a UTF-16LE directory name with ASCII `name`, ignoring case.
bool NameIs(const uint8_t* entry, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const uint16_t unit = LoadU16(entry + 2 * i);
    const auto lower = [](uint32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(unit) != lower(static_cast<uint8_t>(name[i]))) return false;
  }
  return true;
}

// Length from the header's allocation table; 0 when it cannot be trusted.
uint64_t LengthFromAllocationTable(CarvingState& state, const uint8_t* s, std::size_t length) {
  if (length < kHeaderBytes) return 0;
  const uint32_t sector_bytes = state.sector_bytes;
  const uint32_t shift = LoadU16(s + 30);
  if (shift != 9 && shift != 12) return 0;
  const uint32_t table_sectors = LoadU32(s + 44);
  const uint32_t index_sectors = LoadU32(s + 72);
  const uint64_t max_sectors = (uint64_t{0xFFFFFFFA} >> (shift - 2)) + 1;
  if (max_sectors < table_sectors || max_sectors < LoadU32(s + 64)) return 0;
  const uint64_t ids_per_index_sector = (uint64_t{1} << (shift - 2)) - 1;
  if (max_sectors / ids_per_index_sector + 1 < index_sectors) return 0;
  if (index_sectors != 0 && table_sectors <= 108) return 0;
  // More index sectors than the table needs would only send the chain walk
  // round a loop of crafted pointers, sector by sector.
  if (index_sectors != 0 && index_sectors > (table_sectors - kHeaderIndexEntries + 126) / 127)
    return 0;

  uint8_t* const sector = state.work_buffer.data();
  uint32_t last_table_sector = 0;
  if (index_sectors == 0) {
    if (table_sectors == 0 || table_sectors > kHeaderIndexEntries) return 0;
    last_table_sector = LoadU32(s + 72 + 4 * std::size_t{table_sectors});
  } else {
    uint32_t next = LoadU32(s + 68);
    for (uint32_t i = 1;; ++i) {
      if (next >= kEndOfChain) return 0;
      if (!state.ReadWhole(state.file_start + uint64_t{next} + 1, 1, sector)) return 0;
      if (i == index_sectors) {
        const auto remainder = static_cast<uint32_t>((table_sectors - kHeaderIndexEntries) % 127);
        const uint32_t entry = remainder == 0 ? 126 : remainder - 1;
        last_table_sector = LoadU32(sector + 4 * entry);
        break;
      }
      next = LoadU32(sector + sector_bytes - 4);
    }
  }
  if (!state.ReadWhole(state.file_start + uint64_t{last_table_sector} + 1, 1, sector)) return 0;
  uint64_t free_entries = 0;
  for (std::size_t i = sector_bytes / 4; i > 0 && free_entries < 128; --i) {
    if (LoadU32(sector + 4 * (i - 1)) != kFreeEntry) break;
    ++free_entries;
  }
  const uint64_t sectors = uint64_t{table_sectors} * 128 + 1 - free_entries;
  return std::min<uint64_t>(sectors * sector_bytes, kJustUnder128MiB);
}

}  // namespace

int32_t CompoundDocumentTest(CarvingState& state, const uint8_t* s, std::size_t length) {
  if (length < 8 || !HasAt(s, length, 0, kSignature)) return code::kNoMatch;
  uint8_t* const probe = state.probe_buffer.data();
  const uint32_t sector_bytes = state.sector_bytes;
  if (!state.ReadWhole(state.current_sector + 1, 1, probe)) return code::kOle;
  if (LoadU16(probe) == 0xA5EC) return code::kDoc;  // a Word stream starts here
  if (LoadU16(probe) == 0x0809 && LoadU16(probe + 2) == 0x0010 && LoadU16(probe + 4) == 0x0600) {
    return code::kXls;  // an Excel workbook stream starts here
  }
  if (length < 52) return code::kOle;
  if (!state.ReadWhole(state.current_sector + 1 + LoadU32(s + 48), 1, probe)) return code::kOle;
  if (HasAt(probe, sector_bytes, 80, kWordClass)) return code::kDoc;
  if (HasAt(probe, sector_bytes, 80, kExcelClassA) ||
      HasAt(probe, sector_bytes, 80, kExcelClassB)) {
    return code::kXls;
  }
  if (HasAt(probe, sector_bytes, 80, kPowerPointClass)) return code::kPpt;
  for (std::size_t i = 0; i < sector_bytes / 128; ++i) {
    const uint8_t* entry = probe + 128 * i;
    if (NameIs(entry, "WordDocument")) return code::kDoc;
    if (NameIs(entry, "Wordbook")) return code::kXls;
    if (NameIs(entry, "PowerPoint Document")) return code::kPpt;
  }
  return code::kOle;
}

uint64_t CompoundDocumentLength(CarvingState& state, const uint8_t* sector, std::size_t length) {
  if (const uint64_t from_table = LengthFromAllocationTable(state, sector, length))
    return from_table;
  const uint32_t sector_bytes = state.sector_bytes;
  return SearchForward(state, kJustUnder128MiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
    const uint8_t* const end = chunk.data + chunk.size;
    if (FindMarker(chunk.data, end, kFallbackMark) == nullptr) return std::nullopt;
    const uint8_t* p = FindMarker(chunk.data, end, kWordCloser);
    if (p == nullptr) return std::nullopt;
    const uint64_t closer_end = static_cast<uint64_t>(p - chunk.data) + kWordCloser.size();
    const uint64_t rounded = (closer_end + sector_bytes - 1) / sector_bytes * sector_bytes;
    return chunk.bytes_before + rounded;
  });
}

}  // namespace vexlo::carving
