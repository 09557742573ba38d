#include "tests/support/fake_disk_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "tests/support/disk_image.h"

namespace vexlo::testing {
namespace {

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

}  // namespace

int RunQuiet(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

FakeDiskTree::FakeDiskTree(const std::filesystem::path& root) {
  roots_.sys_block = root / "sys" / "block";
  roots_.dev = root / "dev";
  roots_.mountinfo = root / "mountinfo";
  std::filesystem::create_directories(roots_.sys_block);
  std::filesystem::create_directories(roots_.dev);
  std::ofstream(roots_.mountinfo).flush();
}

void FakeDiskTree::AddDisk(const std::string& name, uint32_t major, uint32_t minor,
                           uint64_t size_512, bool removable) {
  const std::filesystem::path dir = roots_.sys_block / name;
  WriteText(dir / "dev", std::to_string(major) + ":" + std::to_string(minor));
  WriteText(dir / "size", std::to_string(size_512));
  WriteText(dir / "removable", removable ? "1" : "0");
  WriteText(dir / "ro", "0");
  WriteText(dir / "queue" / "logical_block_size", "512");
  std::ofstream(DevPath(name)).flush();
  std::filesystem::resize_file(DevPath(name), size_512 * 512);
}

void FakeDiskTree::WritePartitionTable(const std::string& disk, const std::string& script) {
  ASSERT_EQ(testing::WritePartitionTable(DevPath(disk), script), "");
}

void FakeDiskTree::FormatFat(const std::string& disk, uint64_t start_512, uint64_t size_512,
                             int fat_bits, const std::string& label) {
  const std::filesystem::path volume = roots_.dev.parent_path() / "volume.tmp";
  std::filesystem::remove(volume);
  std::ofstream(volume).flush();
  std::filesystem::resize_file(volume, size_512 * 512);
  ASSERT_EQ(
      RunQuiet("mkfs.fat -F " + std::to_string(fat_bits) + " -n " + label + " " + Quote(volume)),
      0);
  ASSERT_EQ(PlaceVolume(DevPath(disk), volume, start_512), "");
  std::filesystem::remove(volume);
}

void FakeDiskTree::AddPartition(const std::string& disk, const std::string& name, uint32_t number,
                                uint32_t minor, uint64_t start_512, uint64_t size_512) {
  std::ifstream major_in(roots_.sys_block / disk / "dev");
  std::string numbers;
  std::getline(major_in, numbers);
  const std::string major = numbers.substr(0, numbers.find(':'));
  const std::filesystem::path dir = roots_.sys_block / disk / name;
  WriteText(dir / "dev", major + ":" + std::to_string(minor));
  WriteText(dir / "partition", std::to_string(number));
  WriteText(dir / "start", std::to_string(start_512));
  WriteText(dir / "size", std::to_string(size_512));
  ASSERT_EQ(RunQuiet("dd if=" + Quote(DevPath(disk)) + " of=" + Quote(DevPath(name)) +
                     " bs=1M iflag=skip_bytes,count_bytes skip=" + std::to_string(start_512 * 512) +
                     " count=" + std::to_string(size_512 * 512) + " conv=sparse"),
            0);
}

void FakeDiskTree::AddMount(uint32_t major, uint32_t minor,
                            const std::filesystem::path& mount_point) {
  std::ofstream out(roots_.mountinfo, std::ios::app);
  out << mount_id_ << " 1 " << major << ":" << minor << " / " << mount_point.string()
      << " rw,relatime - vfat /dev/fake rw\n";
  ++mount_id_;
}

void FakeDiskTree::RemoveDisk(const std::string& name) {
  std::filesystem::remove_all(roots_.sys_block / name);
  std::filesystem::remove(DevPath(name));
}

}  // namespace vexlo::testing
