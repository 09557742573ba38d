#include "engine/recovered_file_path.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

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

TEST(RecoveredFilePath, KeptFoldersStayBelowTheSourceFolder) {
  const std::filesystem::path root = "/dest";
  struct Case {
    std::string_view source;
    std::string_view folder_path;
    std::string_view name;
    bool carved;
    const char* expected;
  } cases[] = {
      {"card.img:1", "DCIM/100CANON/", "IMG_0001.JPG", false,
       "/dest/card.img:1/DCIM/100CANON/IMG_0001.JPG"},
      {"card.img", "", "root.txt", false, "/dest/card.img/root.txt"},
      {"card.img", "Urlaub Grüße/日本/", "a b.jpg", false,
       "/dest/card.img/Urlaub Grüße/日本/a b.jpg"},
      // Names from the medium never climb out of the source's folder.
      {"card.img", "../../etc/", "passwd", false, "/dest/card.img/_/_/etc/passwd"},
      {"/dev/sdb1", "./a//b/", "..", false, "/dest/sdb1/_/a/b/_"},
      {"/cards/card.img:2", "", "x", false, "/dest/card.img:2/x"},
      {"..", "", "x", false, "/dest/_/x"},
      {"/cards/", "", "x", false, "/dest/_/x"},
      // Carved files lie in no folder: their category's instead.
      {"card.img:2", "", "f1024.jpg", true, "/dest/card.img:2/photo/f1024.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeptFolderPath(root, c.source, c.folder_path, c.name, c.carved),
              std::filesystem::path(c.expected))
        << c.folder_path << c.name;
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

// 84 three-byte characters and ".jpg": 256 bytes, one more than a name may
// have; what FAT long names of CJK text easily reach.
std::string LongCjkName(int characters, std::string_view extension) {
  std::string name;
  for (int i = 0; i < characters; ++i) name += "\xE5\x86\x99";
  return name + std::string(extension);
}

TEST(RecoveredFilePath, OverlongNamesAreShortenedKeepingTheExtension) {
  const std::filesystem::path root = "/dest";
  const std::string names[] = {LongCjkName(84, ".jpg"), LongCjkName(120, ".jpg"),
                               std::string(300, 'a') + ".pdf"};
  for (const std::string& name : names) {
    const std::filesystem::path path = DestinationPath(root, name);
    const std::string file_name = path.filename().string();
    EXPECT_LE(file_name.size(), 255u) << name;
    EXPECT_EQ(path.extension(), std::filesystem::path(name).extension()) << name;
    EXPECT_EQ(name.compare(0, file_name.size() - 4, file_name, 0, file_name.size() - 4), 0);
  }
  EXPECT_EQ(DestinationPath(root, LongCjkName(84, ".jpg")).parent_path(), root / "photo");
}

TEST(RecoveredFilePath, NumberedOverlongNamesStayWithinTheLimit) {
  testing::TempDir dir;
  const std::filesystem::path first = DestinationPath(dir.path(), LongCjkName(84, ".jpg"));
  std::filesystem::create_directories(first.parent_path());
  std::ofstream(first).put('x');
  for (int n = 1; n <= 11; ++n) {
    const std::filesystem::path next = UniquePath(first);
    const std::string name = next.filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_TRUE(name.ends_with("(" + std::to_string(n) + ").jpg")) << name;
    std::ofstream created(next);
    ASSERT_TRUE(created.good()) << name;
  }
}

// What one run claims, in order, in a folder that already holds some names;
// files a claim is followed by a file on disk where the run would write one.
TEST(RecoveredFilePath, UniqueNamesAvoidTakenAndClaimedNames) {
  const struct {
    const char* label;
    std::vector<std::string> on_disk;
    std::vector<std::string> claims;
    std::vector<std::string> expected;
  } cases[] = {
      {"free folder", {}, {"a.jpg", "b.jpg"}, {"a.jpg", "b.jpg"}},
      {"repeated in the run", {}, {"a.jpg", "a.jpg", "a.jpg"}, {"a.jpg", "a(1).jpg", "a(2).jpg"}},
      {"taken before the run", {"a.jpg", "a(1).jpg"}, {"a.jpg", "a.jpg"}, {"a(2).jpg", "a(3).jpg"}},
      {"no extension", {"README"}, {"README", "README"}, {"README(1)", "README(2)"}},
      {"numbered name claimed directly",
       {},
       {"a(1).jpg", "a.jpg", "a.jpg"},
       {"a(1).jpg", "a.jpg", "a(2).jpg"}},
  };
  for (const auto& c : cases) {
    testing::TempDir dir;
    for (const std::string& name : c.on_disk) std::ofstream(dir / name).put('x');
    UniqueNames names;
    std::vector<std::string> got;
    for (const std::string& claim : c.claims) {
      got.push_back(names.Claim(dir / claim).filename().string());
    }
    EXPECT_EQ(got, c.expected) << c.label;
  }
}

TEST(RecoveredFilePath, UniqueNamesOfASecondRunAvoidTheFirstRunsFiles) {
  testing::TempDir dir;
  const std::filesystem::path folder = dir / "photo";
  UniqueNames first_run;
  for (int i = 0; i < 3; ++i) {
    const std::filesystem::path path = first_run.Claim(folder / "IMG_0001.JPG");
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path).put('x');
  }
  UniqueNames second_run;
  EXPECT_EQ(second_run.Claim(folder / "IMG_0001.JPG"), folder / "IMG_0001(3).JPG");
  // A file made after the run listed the folder is still never chosen.
  std::ofstream(folder / "late.jpg").put('x');
  EXPECT_EQ(second_run.Claim(folder / "late.jpg"), folder / "late(1).jpg");
}

TEST(RecoveredFilePath, SeparatorCountIgnoresTheLastCharacter) {
  EXPECT_EQ(SeparatorCount("/home/user/out"), 3u);
  EXPECT_EQ(SeparatorCount("/home/user/out/"), 3u);
  EXPECT_EQ(SeparatorCount("/"), 0u);
  EXPECT_EQ(SeparatorCount(""), 0u);
}

}  // namespace
}  // namespace vexlo
