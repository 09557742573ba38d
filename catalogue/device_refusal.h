// What a user is told when the system refuses to open a device for reading.
// The command line prints these words; the desktop program shows the same
// ones from its language files (MSG0512 for a user, MSG0513 for root), so
// that a German desktop says them in German.
#pragma once

#include <string>
#include <string_view>

namespace vexlo::catalogue {

// "Permission denied for /dev/sdb1. ..." with what to do about it. A user
// is told how to get the right to read the card; root already has every
// right there is and is told what refused it instead, never to become root.
std::string DeviceRefusedText(std::string_view device, bool as_root);

}  // namespace vexlo::catalogue
