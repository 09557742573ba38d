#include "storage/destination_on_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <string>

#include "tests/support/fake_disk_tree.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::FakeDiskTree;
using testing::TempDir;

// A disk table in which "sdz1" is the device of the file system the
// temporary folder lives on, "sdz2" and "sdy1" are other devices, and "sdy1"
// is mounted at a folder of that file system, as FUSE mounts report a device
// of their own at the mount point.
class DestinationOnSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat st {};
    ASSERT_EQ(::stat(temp_.path().c_str(), &st), 0);
    const uint32_t here_major = major(st.st_dev);
    const uint32_t here_minor = minor(st.st_dev);
    tree_.AddDisk("sdz", here_major, here_minor + 1000, 4096);
    tree_.AddPartition("sdz", "sdz1", 1, here_minor, 64, 1024);
    tree_.AddPartition("sdz", "sdz2", 2, here_minor + 1001, 2048, 1024);
    tree_.AddDisk("sdy", 259, 70, 4096);
    tree_.AddPartition("sdy", "sdy1", 1, 71, 64, 1024);
    std::filesystem::create_directories(temp_ / "fuse");
    tree_.AddMount(259, 71, temp_ / "fuse");
    tree_.AddDisk("sdx", 259, 80, 4096);
    tree_.AddPartition("sdx", "sdx1", 1, 81, 64, 1024);
    tree_.AddMount(259, 81, "/proc");
    std::filesystem::create_directories(temp_ / "out");
    std::ofstream(temp_ / "card.img") << "data";
  }

  TempDir temp_;
  FakeDiskTree tree_{temp_ / "tree"};
};

TEST_F(DestinationOnSourceTest, ComparesTheDestinationsFileSystemWithTheSource) {
  struct Case {
    const char* label;
    std::filesystem::path destination;
    SourceMedium source;
    bool on_source;
  };
  const std::filesystem::path elsewhere = "/proc/vexlo-nothing/out";
  const Case cases[] = {
      {"on the partition", temp_ / "out", SourceMedium::Device(tree_.DevPath("sdz1")), true},
      {"not there yet: its parent decides", temp_ / "new" / "deeper",
       SourceMedium::Device(tree_.DevPath("sdz1")), true},
      {"a whole disk counts its partitions", temp_ / "out",
       SourceMedium::Device(tree_.DevPath("sdz")), true},
      {"another partition of that disk", temp_ / "out", SourceMedium::Device(tree_.DevPath("sdz2")),
       false},
      {"the file system mounted from the source", temp_ / "out",
       SourceMedium::Device(tree_.DevPath("sdy1")), true},
      {"a disk counts what its partitions mount", temp_ / "out",
       SourceMedium::Device(tree_.DevPath("sdy")), true},
      {"mounted elsewhere", temp_ / "out", SourceMedium::Device(tree_.DevPath("sdx1")), false},
      {"another file system", elsewhere, SourceMedium::Device(tree_.DevPath("sdz1")), false},
      {"no such device", temp_ / "out", SourceMedium::Device(temp_ / "tree" / "dev" / "sdq"),
       false},
      {"beside the image file", temp_ / "out", SourceMedium::ImageFile(temp_ / "card.img"), true},
      {"away from the image file", elsewhere, SourceMedium::ImageFile(temp_ / "card.img"), false},
      {"no image file", temp_ / "out", SourceMedium::ImageFile(temp_ / "missing.img"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(DestinationOnSource(c.destination, c.source, tree_.roots()), c.on_source);
  }
}

TEST(SameExistingFile, OnlyTheFileItselfOrALinkToIt) {
  TempDir temp;
  std::ofstream(temp / "card.img") << "data";
  std::filesystem::create_hard_link(temp / "card.img", temp / "link.img");
  std::ofstream(temp / "copy.img") << "data";
  EXPECT_TRUE(SameExistingFile(temp / "card.img", temp / "card.img"));
  EXPECT_TRUE(SameExistingFile(temp / "link.img", temp / "card.img"));
  EXPECT_FALSE(SameExistingFile(temp / "copy.img", temp / "card.img"));
  EXPECT_FALSE(SameExistingFile(temp / "new.img", temp / "card.img"));
  EXPECT_FALSE(SameExistingFile(temp / "new.img", temp / "missing.img"));
}

}  // namespace
}  // namespace vexlo
