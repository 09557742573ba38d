#include "tests/support/disk_image.h"

#include <fstream>
#include <system_error>

#include "tests/support/fake_disk_tree.h"
#include "tests/support/fat_image.h"

namespace vexlo::testing {
namespace {

std::string Run(const std::string& command) {
  std::string output;
  return RunCapture(command + " 2>&1", &output) == 0 ? "" : command + ": " + output;
}

}  // namespace

std::string WritePartitionTable(const std::filesystem::path& disk, const std::string& script) {
  return Run("printf '%s\\n' " + ShellQuote(script) + " | sfdisk --no-reread --no-tell-kernel " +
             ShellQuote(disk.string()));
}

std::string MakeDiskImage(const std::filesystem::path& image, uint64_t size_mib,
                          const std::string& script) {
  std::error_code ec;
  std::filesystem::remove(image, ec);
  std::ofstream(image).flush();
  std::filesystem::resize_file(image, size_mib << 20, ec);
  if (ec) return "cannot size " + image.string() + ": " + ec.message();
  return WritePartitionTable(image, script);
}

std::string PlaceVolume(const std::filesystem::path& disk, const std::filesystem::path& volume,
                        uint64_t start_512) {
  return Run("dd if=" + ShellQuote(volume.string()) + " of=" + ShellQuote(disk.string()) +
             " bs=1M oflag=seek_bytes seek=" + std::to_string(start_512 * 512) +
             " conv=notrunc,sparse status=none");
}

}  // namespace vexlo::testing
