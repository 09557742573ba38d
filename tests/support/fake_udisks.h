// A private D-Bus with a stand-in UDisks2 daemon on it
// (tests/support/fake_udisks.py), for the tests of opening a device the user
// may not read. The daemon knows one device and opens it itself when asked
// for a backup descriptor, as the real one does once polkit has agreed.
//
// Needs dbus-daemon and Debian's python3-dbus and python3-gi; tests skip with
// UnavailableReason() where they are missing.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "platform/non_copyable.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {

class FakeUdisks : NonCopyable {
 public:
  enum class Answer {
    kReadOnlyDescriptor,  // what the real daemon hands out
    kRefusal,             // polkit said no
    kWritableDescriptor,  // a daemon that must not be trusted
  };

  // Empty when the stand-in can run here; else why not, for GTEST_SKIP.
  static std::string UnavailableReason();

  // Starts a bus in `temp` that every user may connect to, and the daemon
  // serving `device` on it.
  FakeUdisks(const TempDir& temp, const std::filesystem::path& device, Answer answer);
  ~FakeUdisks();

  bool running() const { return running_; }
  // For VEXLO_UDISKS_BUS_ADDRESS.
  const std::string& address() const { return address_; }
  // How many times a descriptor was asked for, and whether each call let
  // polkit ask the user ("OpenForBackup interactive=True" lines).
  std::string Calls() const;

 private:
  std::string address_;
  std::filesystem::path log_;
  pid_t bus_ = -1;
  pid_t daemon_ = -1;
  bool running_ = false;
};

}  // namespace vexlo::testing
