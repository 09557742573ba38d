// The signatures that open a ZIP archive's records, shared by the plain ZIP
// rules and the Office archives' test that walks the same records.
#pragma once

#include <string_view>

namespace vexlo::carving::zip {

inline constexpr std::string_view kLocalHeader = "PK\x03\x04";
inline constexpr std::string_view kCentralHeader = "PK\x01\x02";
inline constexpr std::string_view kEndOfCentralDirectory = "PK\x05\x06";

}  // namespace vexlo::carving::zip
