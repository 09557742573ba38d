#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <system_error>

namespace vexlo::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexlo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedDataHome::ScopedDataHome(const std::filesystem::path& data_home) {
  if (const char* old = std::getenv("XDG_DATA_HOME")) {
    had_value_ = true;
    old_value_ = old;
  }
  setenv("XDG_DATA_HOME", data_home.c_str(), 1);
}

ScopedDataHome::~ScopedDataHome() {
  if (had_value_) {
    setenv("XDG_DATA_HOME", old_value_.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace vexlo::testing
