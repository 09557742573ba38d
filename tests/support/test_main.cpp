// The main of every GoogleTest binary of the project.
//
// Tests must never write into the scan logs of the person running them, so
// unless XDG_DATA_HOME already points into a temporary folder, each test
// process gets a private data folder that is removed when it ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string data_home = (std::filesystem::temp_directory_path() / "vexlo-data-XXXXXX").string();
  const bool private_home = mkdtemp(data_home.data()) != nullptr;
  if (private_home) setenv("XDG_DATA_HOME", data_home.c_str(), 1);
  const int result = RUN_ALL_TESTS();
  if (private_home) {
    std::error_code ec;
    std::filesystem::remove_all(data_home, ec);
  }
  return result;
}
