#include "carving/metadata_sector.h"

#include <string_view>

#include "carving/formats/bytes.h"
#include "ondisk/boot_sector_layouts.h"
#include "ondisk/fat_directory_sector.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kBootOemNames[] = {"MSDOS5.0", "MSWIN4.0", "MSWIN4.1", "NTFS    ",
                                              "EXFAT   "};

constexpr uint8_t kBootJump = 0xEB;

bool IsBootSector(const uint8_t* s, std::size_t length) {
  if (s[0] != kBootJump || s[2] != 0x90) return false;
  for (std::string_view oem : kBootOemNames) {
    if (boot_sector::kOemName.Holds({s, length}, oem)) return true;
  }
  return false;
}

}  // namespace

bool MetadataSectorTest(const uint8_t* s, std::size_t length) {
  if (length < 32) return false;
  // The signatures differ in their first byte; the test runs on every sector
  // that a length search passes.
  switch (s[0]) {
    case 'F':
      if (HasAt(s, length, 0, "FILE")) return true;
      break;
    case 'I':
      if (HasAt(s, length, 0, "INDX")) return true;
      break;
    case 'R':
      if (HasAt(s, length, 0, "RSTR") && FindMarker(s, s + length, "N\0T\0F\0S\0"sv) != nullptr)
        return true;
      break;
    case '$':
      if (HasAt(s, length, 0, "$\0S\0T\0A\0"sv)) return true;
      break;
    case kBootJump:
      if (IsBootSector(s, length)) return true;
      break;
    default:
      break;
  }
  return fat::IsFatDirectorySector(s, length);
}

}  // namespace vexlo::carving
