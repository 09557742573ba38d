#include "carving/formats/office_archive.h"

#include <cstring>
#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/type_codes.h"
#include "carving/formats/zip_records.h"

namespace vexlo::carving {
namespace {

// Reads of four sectors each, 20 sectors in all.
constexpr int kReads = 5;
constexpr uint32_t kSectorsPerRead = 4;
// Bytes kept from the previous read, so that a signature split by a read
// boundary is still found.
constexpr std::size_t kCarryBytes = 4;

bool StartsWithNoCase(const uint8_t* p, const uint8_t* end, std::string_view prefix,
                      std::size_t need) {
  if (end - p < static_cast<std::ptrdiff_t>(need)) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    uint8_t c = p[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
    if (c != static_cast<uint8_t>(prefix[i])) return false;
  }
  return true;
}

int32_t ClassifyName(const uint8_t* name, const uint8_t* end) {
  if (name >= end) return code::kNoMatch;
  if (StartsWithNoCase(name, end, "word", 5)) return code::kDocx;
  if (StartsWithNoCase(name, end, "ppt", 4)) return code::kPptx;
  if (StartsWithNoCase(name, end, "xl", 3)) return code::kXlsx;
  return code::kNoMatch;
}

// Walks the headers with `signature`, classifying the member name at
// `name_offset`, until the end-of-directory record or too few bytes follow.
int32_t WalkHeaders(const uint8_t* begin, const uint8_t* end, const uint8_t* directory_end,
                    std::string_view signature, std::size_t min_following,
                    std::size_t name_offset) {
  for (const uint8_t* p = FindMarker(begin, end, signature); p != nullptr;
       p = FindMarker(p + 1, end, signature)) {
    if (directory_end != nullptr && directory_end < p) break;
    if (static_cast<std::size_t>(end - p) < signature.size() + min_following) break;
    if (static_cast<std::size_t>(end - p) <= name_offset) continue;
    const int32_t type_code = ClassifyName(p + name_offset, end);
    if (type_code != code::kNoMatch) return type_code;
  }
  return code::kNoMatch;
}

}  // namespace

int32_t OfficeArchiveTest(const HeaderProbe& probe, const uint8_t* s, std::size_t length) {
  if (length < 31) return code::kNoMatch;
  if (!HasAt(s, length, 0, zip::kLocalHeader) && !HasAt(s, length, 31, "[Content_Types].xml")) {
    return code::kNoMatch;
  }
  uint8_t* const buffer = probe.buffer().data();
  const std::size_t read_bytes = std::size_t{kSectorsPerRead} * probe.sector_bytes();
  const uint8_t* const end = buffer + kCarryBytes + read_bytes;
  std::memset(buffer, 0, kCarryBytes);
  for (int read = 0; read < kReads; ++read) {
    const uint64_t sector = probe.sector() + uint64_t{kSectorsPerRead} * read;
    if (!probe.Read(sector, kSectorsPerRead, kCarryBytes)) return code::kNoMatch;
    const uint8_t* directory_end = FindMarker(buffer, end, zip::kEndOfCentralDirectory);
    int32_t type_code = WalkHeaders(buffer, end, directory_end, zip::kLocalHeader, 5, 30);
    if (type_code == code::kNoMatch) {
      type_code = WalkHeaders(buffer, end, directory_end, zip::kCentralHeader, 48, 46);
    }
    if (type_code != code::kNoMatch) return type_code;
    std::memmove(buffer, end - kCarryBytes, kCarryBytes);
  }
  return code::kNoMatch;
}

}  // namespace vexlo::carving
