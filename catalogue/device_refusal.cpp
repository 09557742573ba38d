#include "catalogue/device_refusal.h"

namespace vexlo::catalogue {

std::string DeviceRefusedText(std::string_view device, bool as_root) {
  std::string text = "Permission denied for " + std::string(device) + ". ";
  text += as_root
              ? "The system refuses to open the device for reading although this program runs "
                "as root: a rule of the system (a container's device list or a security module) "
                "forbids it."
              : "The system did not allow reading this card; run the program from your desktop "
                "to be asked for your password, or run `sudo vexlo-recover \u2026`.";
  return text;
}

}  // namespace vexlo::catalogue
