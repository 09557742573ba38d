#include "tests/support/fake_udisks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/run_tool.h"

namespace vexlo::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kBusDaemon = "/usr/bin/dbus-daemon";
constexpr auto kStartWait = std::chrono::seconds(20);

// Any user may connect: the program under test runs as an unprivileged user
// while the stand-in daemon, like the real one, runs as root.
constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>custom</type>
  <listen>unix:path=@SOCKET@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)";

// Each program's complaints go to `log` rather than into the test's output.
pid_t Start(std::vector<std::string> args, const std::string& bus_address,
            const std::filesystem::path& log) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (err >= 0) ::dup2(err, STDERR_FILENO);
    if (!bus_address.empty()) ::setenv("DBUS_STARTER_ADDRESS", bus_address.c_str(), 1);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool WaitFor(const std::filesystem::path& file, pid_t process) {
  const auto deadline = std::chrono::steady_clock::now() + kStartWait;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) return true;
    int status = 0;
    if (::waitpid(process, &status, WNOHANG) == process) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void Stop(pid_t process) {
  if (process <= 0) return;
  ::kill(process, SIGTERM);
  int status = 0;
  ::waitpid(process, &status, 0);
}

}  // namespace

std::string FakeUdisks::UnavailableReason() {
  if (::access(kBusDaemon, X_OK) != 0) return "dbus-daemon is not installed";
  const std::string check =
      std::string(kPython) + " -c 'import dbus.service, dbus.mainloop.glib, gi' 2>/dev/null";
  if (std::system(check.c_str()) != 0) return "python3-dbus or python3-gi is not installed";
  return "";
}

FakeUdisks::FakeUdisks(const TempDir& temp, const std::filesystem::path& device, Answer answer) {
  const std::filesystem::path socket = temp / "udisks-bus";
  const std::filesystem::path config = temp / "udisks-bus.conf";
  const std::filesystem::path ready = temp / "udisks-ready";
  log_ = temp / "udisks-calls.log";
  std::string text = kBusConfig;
  text.replace(text.find("@SOCKET@"), 8, socket.string());
  std::ofstream(config) << text;
  address_ = "unix:path=" + socket.string();

  bus_ = Start({kBusDaemon, "--nofork", "--nopidfile", "--config-file=" + config.string()}, "",
               temp / "udisks-bus.log");
  if (bus_ < 0 || !WaitFor(socket, bus_)) return;
  std::vector<std::string> args = {
      kPython,
      (std::filesystem::path(VEXLO_SOURCE_DIR) / "tests/support/fake_udisks.py").string(),
      device.string(),
      "--log",
      log_.string(),
      "--ready",
      ready.string()};
  if (answer == Answer::kRefusal) args.emplace_back("--refuse");
  if (answer == Answer::kWritableDescriptor) args.emplace_back("--writable");
  daemon_ = Start(args, address_, temp / "udisks-daemon.log");
  running_ = daemon_ > 0 && WaitFor(ready, daemon_);
}

FakeUdisks::~FakeUdisks() {
  Stop(daemon_);
  Stop(bus_);
}

std::string FakeUdisks::Calls() const { return ReadText(log_); }

}  // namespace vexlo::testing
