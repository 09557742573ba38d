#include "tests/support/fuse_card.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace vexlo::testing {
namespace {

// Debian's interpreter: fusepy comes as a Debian package.
constexpr const char* kPython = "/usr/bin/python3";
constexpr auto kMountWait = std::chrono::seconds(20);
// Only against a hang: a held read comes within moments.
constexpr auto kHoldWait = std::chrono::seconds(60);
constexpr const char* kHeld = "held";

std::filesystem::path ServerScript() {
  return std::filesystem::path(VEXLO_SOURCE_DIR) / "tests/support/failing_card_fuse.py";
}

}  // namespace

std::string FuseCard::UnavailableReason() {
  if (::geteuid() != 0) return "FUSE cards are mounted as root only";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no usable /dev/fuse";
  const std::string check = std::string(kPython) + " -c 'import fusepy' 2>/dev/null";
  if (std::system(check.c_str()) != 0) return "python3-fusepy is not installed";
  return "";
}

FuseCard::FuseCard(const TempDir& temp, const std::filesystem::path& backing,
                   const std::vector<std::string>& options) {
  static std::atomic<int> counter{0};
  const std::string name = "card" + std::to_string(counter++);
  mount_point_ = temp / name;
  log_ = temp / (name + ".log");
  release_ = temp / (name + ".release");
  std::filesystem::create_directories(mount_point_);

  std::vector<std::string> args = {
      kPython, ServerScript().string(), backing.string(), mount_point_.string(),
      "--log", log_.string(),           "--release",      release_.string()};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  server_ = ::fork();
  if (server_ == 0) {
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  if (server_ < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + kMountWait;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    if (std::filesystem::exists(path(), ec)) {
      mounted_ = true;
      return;
    }
    int status = 0;
    if (::waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

FuseCard::~FuseCard() {
  if (server_ < 0) return;
  // The server ends once its mount is gone; a lazy unmount lets go of a
  // mount that a failed test left busy.
  if (::umount2(mount_point_.c_str(), 0) != 0) ::umount2(mount_point_.c_str(), MNT_DETACH);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(server_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(server_, SIGKILL);
      ::waitpid(server_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<FuseCard::Read> FuseCard::Reads() const {
  std::vector<Read> reads;
  std::ifstream in(log_);
  Read read{};
  std::string outcome;
  while (in >> read.offset >> read.length >> outcome) {
    if (outcome == kHeld) continue;
    read.ok = outcome == "ok";
    reads.push_back(read);
  }
  return reads;
}

bool FuseCard::WaitUntilHeld(int holds) const {
  const auto deadline = std::chrono::steady_clock::now() + kHoldWait;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(log_);
    int held = 0;
    for (std::string word; in >> word;) held += word == kHeld ? 1 : 0;
    if (held >= holds) return true;
    int status = 0;
    if (server_ < 0 || ::waitpid(server_, &status, WNOHANG) != 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void FuseCard::Release() const { std::ofstream{release_}; }

}  // namespace vexlo::testing
