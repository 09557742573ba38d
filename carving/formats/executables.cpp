#include "carving/formats/executables.h"

#include <string_view>

#include "carving/formats/bytes.h"
#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"

namespace vexlo::carving {

using namespace std::string_view_literals;

int32_t PortableExecutableTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  if (length < 512 || !HasAt(s, length, 0, "MZ")) return code::kNoMatch;
  const uint32_t pe = LoadLe32({s, length}, 60);
  if (pe > 488 || !HasAt(s, length, pe, "PE\x00\x00"sv)) return code::kNoMatch;
  const uint16_t characteristics = LoadLe16({s, length}, pe + 22);
  if ((characteristics & 0x0002) == 0) return code::kNoMatch;  // not executable
  if (characteristics & 0x1000) return code::kSys;
  if (characteristics & 0x2000) return code::kDll;
  return code::kExe;
}

int32_t GhostTest(const HeaderProbe&, const uint8_t* s, std::size_t length) {
  return HasAt(s, length, 0, "\xFE\xEF\x00\x00"sv) ? code::kGho : code::kNoMatch;
}

}  // namespace vexlo::carving
