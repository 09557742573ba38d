// Reading a device the user may not open, the way desktop disk tools do: the
// UDisks2 daemon opens it read-only on the user's behalf, after polkit has
// asked for the password where the desktop offers an agent, and hands the
// descriptor over the system bus.
//
// OpenSource falls back to this when opening a block device is refused
// (EACCES/EPERM), so the CLI and the desktop program take the same path. The
// bus is the system bus unless VEXLO_UDISKS_BUS_ADDRESS names another (tests
// run a stand-in daemon on a private bus).
#pragma once

#include <filesystem>

#include "platform/error_code.h"
#include "platform/non_copyable.h"

namespace vexlo::platform {

// Asks UDisks2 for a read-only descriptor of `device` (a /dev path). On
// success *fd is an O_RDONLY descriptor the caller owns. A descriptor that
// allows writing is refused and closed: the source is never written. Fails
// with kAccessDenied when the daemon refuses, kFileNotFound when it does not
// know the device, kNotSupported when no bus or daemon answers.
ErrorCode OpenThroughUdisks(const std::filesystem::path& device, int* fd);

// While one lives on the current thread, the daemon is asked only for what
// polkit grants without a password dialog: listing the disks must not bring
// one up per disk; the dialog belongs to the moment a card is opened.
class NoPasswordPrompts : NonCopyable {
 public:
  NoPasswordPrompts();
  ~NoPasswordPrompts();
};

}  // namespace vexlo::platform
