// A folder for one test's files, removed with everything in it when the test
// ends. Tests that run the programs, whose scan history lives under
// XDG_DATA_HOME, also point that into it; everything else keeps its scan
// history where the test says (temp_scan_history.h).
#pragma once

#include <filesystem>
#include <string>

#include "platform/non_copyable.h"

namespace vexlo::testing {

class TempDir : NonCopyable {
 public:
  TempDir();
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets XDG_DATA_HOME for the lifetime of the object and restores it after.
class ScopedDataHome : NonCopyable {
 public:
  explicit ScopedDataHome(const std::filesystem::path& data_home);
  ~ScopedDataHome();

 private:
  bool had_value_ = false;
  std::string old_value_;
};

}  // namespace vexlo::testing
