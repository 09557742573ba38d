#include "engine/recovered_file_path.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

TEST(RecoveredFilePath, CategoryFolderAndSanitisedName) {
  const std::filesystem::path root = "/dest";
  struct Case {
    std::string_view record_name;
    const char* expected;
  } cases[] = {
      {"1024.jpg", "/dest/photo/1024.jpg"},
      {"IMG_0001.JPG", "/dest/photo/IMG_0001.JPG"},
      {"README", "/dest/photo/README"},  // no dot: the empty extension is in every list
      {"song.rm", "/dest/audio/song.rm"},
      {"clip.mkv", "/dest/video/clip.mkv"},
      {"a.pdf", "/dest/document/a.pdf"},
      {"a.7z", "/dest/archive/a.7z"},
      {"a.dat", "/dest/others/a.dat"},
      {"..", "/dest/photo/_"},
      {".", "/dest/photo/_"},
      {"", "/dest/photo/_"},
      {"../../etc/passwd", "/dest/others/.._.._etc_passwd"},
      {std::string_view("a\0b.jpg", 7), "/dest/photo/a_b.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DestinationPath(root, c.record_name).string(), c.expected) << c.record_name;
  }
}

TEST(RecoveredFilePath, CollisionsAreNumberedBeforeTheExtension) {
  testing::TempDir dir;
  const std::filesystem::path first = dir / "1024.jpg";
  EXPECT_EQ(UniquePath(first), first);
  std::ofstream(first).put('x');
  EXPECT_EQ(UniquePath(first), dir / "1024(1).jpg");
  std::ofstream(dir / "1024(1).jpg").put('x');
  EXPECT_EQ(UniquePath(first), dir / "1024(2).jpg");

  std::ofstream(dir / "README").put('x');
  EXPECT_EQ(UniquePath(dir / "README"), dir / "README(1)");
}

TEST(RecoveredFilePath, SeparatorCountIgnoresTheLastCharacter) {
  EXPECT_EQ(SeparatorCount("/home/user/out"), 3u);
  EXPECT_EQ(SeparatorCount("/home/user/out/"), 3u);
  EXPECT_EQ(SeparatorCount("/"), 0u);
  EXPECT_EQ(SeparatorCount(""), 0u);
}

}  // namespace
}  // namespace vexlo
