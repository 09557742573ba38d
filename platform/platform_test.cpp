// Error codes, FILETIME conversion and the disk table on a fabricated sysfs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <tuple>

#include "platform/disk_table.h"
#include "platform/error_code.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/linux/sysfs_attribute.h"
#include "platform/volume_info.h"
#include "tests/support/temp_dir.h"

namespace vexlo::platform {
namespace {

TEST(ErrorCodeTest, ErrnoTable) {
  const std::pair<int, int32_t> cases[] = {
      {ENOENT, 2},   {ENOTDIR, 3},        {EACCES, 5},   {EPERM, 5},   {ENOMEM, 8},
      {EROFS, 19},   {EIO, 30},           {EBUSY, 32},   {EINVAL, 87}, {ENOSPC, 112},
      {EEXIST, 183}, {ENAMETOOLONG, 206}, {EXDEV, 1117},
  };
  for (const auto& [errno_value, code] : cases) {
    EXPECT_EQ(FromErrno(errno_value), code) << errno_value;
  }
}

TEST(ErrorCodeTest, TextsAreTheSystemsOwn) {
  const std::pair<ErrorCode, std::string> cases[] = {
      // The errno a code came from gives its text, the code stays the same.
      {FromErrno(EPERM), "Operation not permitted"},
      {FromErrno(EACCES), "Permission denied"},
      {FromErrno(EDQUOT), "Disk quota exceeded"},
      {FromErrno(ENOENT), "No such file or directory"},
      {FromErrno(EXDEV), "Invalid cross-device link"},
      // A bare code speaks as the errno it stands for.
      {5, "Permission denied"},
      {112, "No space left on device"},
      {206, "File name too long"},
      {87, "Invalid argument"},
      // Codes only the program raises keep their own sentences.
      {1785, "The medium holds no file system this program knows"},
      {kCancelCode, "Cancelled by the user"},
      {424242, "Error 424242"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(SystemMessage(code), text) << code;
  EXPECT_EQ(FromErrno(EPERM), 5);
  EXPECT_EQ(FromErrno(EDQUOT), 112);
  EXPECT_EQ(ErrorCode(5).system_errno(), 0);
}

TEST(FiletimeTest, Conversions) {
  EXPECT_EQ(FiletimeFromUnix(0), 116444736000000000ull);
  EXPECT_EQ(UnixSecondsFromFiletime(116444736000000000ull), 0);
  EXPECT_EQ(FiletimeFromCalendar(1970, 1, 1, 0, 0, 0), 116444736000000000ull);
  EXPECT_EQ(FiletimeFromCalendar(1601, 1, 1, 0, 0, 0), 0u);
  // 2026-04-03 09:05:06.5
  const uint64_t t = FiletimeFromCalendar(2026, 4, 3, 9, 5, 6, 500);
  const std::tm fields = CalendarFromFiletime(t);
  EXPECT_EQ(fields.tm_year + 1900, 2026);
  EXPECT_EQ(fields.tm_mon + 1, 4);
  EXPECT_EQ(fields.tm_mday, 3);
  EXPECT_EQ(fields.tm_hour, 9);
  EXPECT_EQ(fields.tm_min, 5);
  EXPECT_EQ(fields.tm_sec, 6);
  EXPECT_EQ(t % kFiletimeTicksPerSecond, 5'000'000u);
}

TEST(FiletimeTest, ImpossibleDatesGiveZero) {
  EXPECT_EQ(FiletimeFromCalendar(2023, 2, 29, 0, 0, 0), 0u);
  EXPECT_EQ(FiletimeFromCalendar(2024, 2, 29, 0, 0, 0) != 0, true);
  EXPECT_EQ(FiletimeFromCalendar(2020, 0, 1, 0, 0, 0), 0u);
  EXPECT_EQ(FiletimeFromCalendar(2020, 13, 1, 0, 0, 0), 0u);
  EXPECT_EQ(FiletimeFromCalendar(2020, 1, 1, 24, 0, 0), 0u);
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// /sys/block/<name> with dev numbers, size and optional partitions.
void AddDisk(const std::filesystem::path& root, const std::string& name, const std::string& dev,
             bool removable) {
  WriteFile(root / name / "dev", dev);
  WriteFile(root / name / "size", "1000000");
  WriteFile(root / name / "removable", removable ? "1" : "0");
}

TEST(SysfsAttributeTest, FirstLineAndItsPaddingTrimmed) {
  // The file's text, its first line, the attribute.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"SanDisk \n", "SanDisk ", "SanDisk"},
      {"Ultra  \t\nsecond line\n", "Ultra  \t", "Ultra"},
      {"  8:16\n", "  8:16", "  8:16"},
      {"no line end", "no line end", "no line end"},
      {"", "", ""},
  };
  testing::TempDir dir;
  for (const auto& [text, first_line, attribute] : cases) {
    const auto file = dir / "attribute";
    std::ofstream(file, std::ios::trunc) << text;
    EXPECT_EQ(SysfsFirstLine(file), first_line) << text;
    EXPECT_EQ(SysfsAttribute(file), attribute) << text;
  }
  EXPECT_EQ(SysfsFirstLine(dir / "missing"), "");
  EXPECT_EQ(SysfsAttribute(dir / "missing"), "");
}

TEST(FileTimesTest, SetsWhatIsKnownAndLeavesTheRest) {
  testing::TempDir dir;
  const auto file = dir / "photo.jpg";
  WriteFile(file, "x");
  std::filesystem::create_directory(dir / "folder");
  const uint64_t modified = FiletimeFromCalendar(2019, 3, 4, 5, 6, 8, 250);
  const uint64_t accessed = FiletimeFromCalendar(2019, 3, 5, 0, 0, 0);
  for (const auto& path : {file, dir / "folder"}) {
    ASSERT_EQ(SetFiletimes(path, accessed, modified), 0) << path;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(FiletimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), modified);
    EXPECT_EQ(FiletimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec), accessed);
  }
  // 0 means the medium gave no time: the file keeps the one it has.
  ASSERT_EQ(SetFiletimes(file, 0, FiletimeFromCalendar(2020, 1, 1, 0, 0, 0)), 0);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(FiletimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec), accessed);
  EXPECT_EQ(SetFiletimes(dir / "missing", accessed, modified), err::kFileNotFound);
}

TEST(DiskTableTest, OrdersByDeviceNumbersAndSkipsNonDisks) {
  testing::TempDir dir;
  const auto root = dir / "block";
  AddDisk(root, "sdb", "8:16", true);
  AddDisk(root, "sda", "8:0", false);
  AddDisk(root, "mmcblk0", "179:0", false);
  AddDisk(root, "ram0", "1:0", false);
  AddDisk(root, "loop0", "7:0", false);  // no backing file: not a disk
  AddDisk(root, "loop1", "7:1", false);
  WriteFile(root / "loop1" / "loop" / "backing_file", "/tmp/card.img");
  WriteFile(root / "sdb" / "sdb1" / "partition", "1");
  WriteFile(root / "sdb" / "sdb1" / "start", "8192");
  WriteFile(root / "sdb" / "sdb1" / "size", "991808");
  WriteFile(root / "sdb" / "sdb1" / "dev", "8:17");

  SysfsRoots roots;
  roots.sys_block = root;
  roots.dev = dir / "dev";
  const auto disks = ListWholeDisks(roots);
  ASSERT_EQ(disks.size(), 4u);
  EXPECT_EQ(disks[0].name, "loop1");
  EXPECT_EQ(disks[1].name, "sda");
  EXPECT_EQ(disks[2].name, "sdb");
  EXPECT_EQ(disks[3].name, "mmcblk0");
  EXPECT_TRUE(disks[2].removable);
  EXPECT_TRUE(disks[3].usb_or_sd);
  ASSERT_EQ(disks[2].partitions.size(), 1u);
  EXPECT_EQ(disks[2].partitions[0].start_512, 8192u);
  EXPECT_EQ(disks[2].partitions[0].dev_path, dir / "dev" / "sdb1");
  EXPECT_EQ(DiskDevicePath(2, roots), dir / "dev" / "sdb");
  EXPECT_TRUE(DiskDevicePath(4, roots).empty());

  uint32_t number = 0;
  const PartitionInfo* partition = nullptr;
  std::vector<DiskInfo> table;
  ASSERT_TRUE(FindDeviceInTable("/dev/sdb1", roots, &number, &partition, &table));
  EXPECT_EQ(number, 2u);
  ASSERT_NE(partition, nullptr);
  EXPECT_EQ(partition->name, "sdb1");
  EXPECT_FALSE(FindDeviceInTable("/dev/sdz", roots, &number, &partition, &table));
}

TEST(VolumeInfoTest, MountPointsFromMountinfo) {
  testing::TempDir dir;
  WriteFile(dir / "mountinfo",
            "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
            "40 22 8:17 / /media/user/MY\\040CARD rw - vfat /dev/sdb1 rw\n"
            "41 22 8:17 / /mnt/card rw - vfat /dev/sdb1 rw");
  const auto points = MountPointsOf(8, 17, dir / "mountinfo");
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0], "/media/user/MY CARD");
  EXPECT_EQ(points[1], "/mnt/card");
  EXPECT_TRUE(MountPointsOf(8, 18, dir / "mountinfo").empty());
}

TEST(VolumeInfoTest, DisplayNames) {
  const std::pair<FileSystemProbe, std::string> cases[] = {
      {{"ntfs", "", "", ""}, "NTFS"},     {{"vfat", "FAT32", "", ""}, "FAT32"},
      {{"vfat", "FAT16", "", ""}, "FAT"}, {{"vfat", "FAT12", "", ""}, "FAT"},
      {{"exfat", "", "", ""}, "exFAT"},   {{"ext4", "1.0", "", ""}, "ext4"},
      {{"btrfs", "", "", ""}, "BTRFS"},   {{"", "", "", ""}, ""},
  };
  for (const auto& [probe, name] : cases) EXPECT_EQ(FileSystemDisplayName(probe), name);
}

}  // namespace
}  // namespace vexlo::platform

namespace vexlo::platform {
// A destination that is a device, directly or through a link, is refused for
// writing before anything could be written; reading it stays possible.
TEST(FileTest, WritesOnlyRegularFiles) {
  testing::TempDir dir;
  const auto link = dir.path() / "card";
  std::filesystem::create_symlink("/dev/null", link);
  const auto regular = dir.path() / "out.bin";
  for (const auto mode : {platform::File::Mode::kReadWrite, platform::File::Mode::kReadWriteCreate,
                          platform::File::Mode::kCreateTruncate}) {
    for (const std::filesystem::path& device : {std::filesystem::path("/dev/null"), link}) {
      platform::File file;
      EXPECT_EQ(file.Open(device, mode).value(), err::kAccessDenied) << device;
      EXPECT_FALSE(file.is_open());
    }
    platform::File file;
    EXPECT_TRUE(file.Open(regular, mode == platform::File::Mode::kReadWrite
                                       ? platform::File::Mode::kReadWriteCreate
                                       : mode)
                    .ok());
  }
  platform::File reader;
  EXPECT_TRUE(reader.Open("/dev/null", platform::File::Mode::kReadOnly).ok());
}

}  // namespace vexlo::platform
