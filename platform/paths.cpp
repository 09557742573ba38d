#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace vexlo::platform {
namespace {

std::filesystem::path HomeDir() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/tmp";
}

std::filesystem::path XdgDir(const char* variable, const char* fallback_below_home) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    return value;
  }
  return HomeDir() / fallback_below_home;
}

}  // namespace

std::filesystem::path DataHome() { return XdgDir("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path ConfigHome() { return XdgDir("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path RuntimeDir() {
  if (const char* value = std::getenv("XDG_RUNTIME_DIR"); value != nullptr && value[0] == '/') {
    return value;
  }
  return "/tmp";
}

std::filesystem::path ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

std::filesystem::path AppDataDir() { return DataHome() / "VexloSdCardDataRecovery"; }

std::filesystem::path ScanLogRoot() { return AppDataDir() / "ScanLog"; }

std::filesystem::path ResourcePath(const std::filesystem::path& relative) {
  std::filesystem::path beside = ProgramDir() / relative;
  std::error_code ec;
  if (std::filesystem::exists(beside, ec)) return beside;
  std::filesystem::path shared = ProgramDir() / ".." / "share" / "vexlo-sd-recovery" / relative;
  if (std::filesystem::exists(shared, ec)) return shared.lexically_normal();
  return beside;
}

}  // namespace vexlo::platform
