// The engine on real volumes: made by mkfs.fat, filled and emptied by
// mtools, scanned, and checked against what the test wrote and against The
// Sleuth Kit's listing of the same image.
#include "filesystems/fat/fast_fat_recovery.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "carving/test_samples.h"
#include "engine/scan_history.h"
#include "platform/filetime.h"
#include "platform/text.h"
#include "tests/support/fat_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::FatFormat;
using testing::Mtools;

constexpr uint16_t kImageSourceId = 0x8000;

struct VolumeCase {
  const char* what;
  FatFormat format;
};

class FatVolumeTest : public ::testing::TestWithParam<VolumeCase> {
 protected:
  void SetUp() override {
    image_ = temp_ / "card.img";
    ASSERT_EQ(testing::MakeFatImage(image_, GetParam().format), "");
  }
  void Write(const std::string& path, std::size_t size, uint32_t seed) {
    const auto bytes = testing::PatternBytes(size, seed);
    ASSERT_EQ(testing::FatWriteFile(image_, path, bytes), "");
    hashes_[path.substr(1)] = testing::Sha256OfBytes(bytes);
    sizes_[path.substr(1)] = size;
  }

  testing::TempDir temp_;
  ScanHistory history_{temp_ / "ScanLog"};
  std::filesystem::path image_;
  std::map<std::string, std::string> hashes_;
  std::map<std::string, uint64_t> sizes_;
};

TEST_P(FatVolumeTest, FindsDeletedFilesAndRecoversTheirBytes) {
  const std::string long_name = "Grüße vom Strand – Sommer.dat";
  ASSERT_EQ(Mtools(image_, "mmd", {"::/Live dir", "::/Gone", "::/Gone/Sub", "::/Empty gone"}), "");
  Write("/keep.dat", 1000, 1);
  Write("/" + long_name, 70000, 2);
  Write("/NOTES.DAT", 3000, 3);
  Write("/zero.dat", 0, 4);
  Write("/Live dir/inner deleted.bin", 5000, 5);
  Write("/Live dir/live.bin", 100, 6);
  Write("/Gone/a.bin", 9000, 7);
  Write("/Gone/Sub/deep file.bin", 40000, 8);
  ASSERT_EQ(
      Mtools(image_, "mdel",
             {"::/" + long_name, "::/NOTES.DAT", "::/zero.dat", "::/Live dir/inner deleted.bin"}),
      "");
  ASSERT_EQ(Mtools(image_, "mdeltree", {"::/Gone", "::/Empty gone"}), "");

  CFastFatRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(image_, kImageSourceId), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  const auto all = testing::ListAllRecords(engine);

  // What was deleted, under the names the engine gives them. mtools keeps a
  // lower-case 8.3 name as a short entry only, so once deleted it starts
  // with "!".
  const std::map<std::string, std::string> expected_files = {
      {long_name, long_name},       {"!otes.dat", "NOTES.DAT"},
      {"!ero.dat", "zero.dat"},     {"Live dir/inner deleted.bin", "Live dir/inner deleted.bin"},
      {"Gone/!.bin", "Gone/a.bin"}, {"Gone/Sub/deep file.bin", "Gone/Sub/deep file.bin"},
  };
  std::map<std::string, std::string> listed_files;
  for (const auto& [path, record] : all) {
    if (!record.is_folder) listed_files[path] = path;
  }
  ASSERT_NO_FATAL_FAILURE(testing::ExpectDeletedFilesRecovered(
      engine, all, expected_files, sizes_, hashes_,
      {kImageSourceId, FsKind::kFatQuick, platform::FiletimeFromCalendar(2019, 3, 4, 5, 6, 8)},
      temp_ / "out" / "file"));
  EXPECT_EQ(listed_files.size(), expected_files.size()) << "live files must not be listed";
  // Folders only where they lead to a recorded file.
  EXPECT_TRUE(all.contains("Live dir") && all.at("Live dir").deleted == 0);
  EXPECT_TRUE(all.contains("Gone") && all.at("Gone").deleted == 1);
  EXPECT_TRUE(all.contains("Gone/Sub"));
  EXPECT_FALSE(all.contains("Empty gone"));

  // Preview of a type the viewer shows from memory: the first bytes only.
  std::string preview_path;
  // The pattern of NOTES.DAT, cut.
  EXPECT_EQ(testing::PreviewBytes(engine, all.at("!otes.dat"), 1000, &preview_path),
            testing::PatternBytes(1000, 3));
  EXPECT_TRUE(preview_path.empty());

  // Free space: live files are used, so the first free run starts after them.
  uint64_t sector = 0;
  uint64_t length = 0;
  EXPECT_EQ(engine.NextFreeRange(&sector, &length), 0) << "no map before it is built";
  ASSERT_EQ(engine.BuildUsedClusterBitmap(), 0);
  ASSERT_EQ(engine.NextFreeRange(&sector, &length), 1);
  EXPECT_GT(length, 0u);
  EXPECT_GE(sector, engine.volume().geometry.data_start);

  std::string path_text;
  ASSERT_EQ(engine.GetFullPath(all.at("Gone/Sub/deep file.bin"), &path_text), 0);
  EXPECT_EQ(path_text, "Gone/Sub/");
  uint32_t count = 0;
  ASSERT_EQ(engine.CountFiles(nullptr, 0, &count), 0);
  EXPECT_EQ(count, expected_files.size());

  // A whole deleted folder, rebuilt with its tree.
  const std::filesystem::path tree = temp_ / "tree" / "Gone";
  ASSERT_EQ(engine.RecoverFile(all.at("Gone"), tree, 0), 0);
  EXPECT_EQ(testing::Sha256OfFile(tree / "Sub" / "deep file.bin"),
            hashes_.at("Gone/Sub/deep file.bin"));
  EXPECT_EQ(testing::Sha256OfFile(tree / "!.bin"), hashes_.at("Gone/a.bin"));

  // Every deleted file The Sleuth Kit names is found at the same path with
  // the same size. Its names of deleted short entries start with "_" and
  // keep their case where ours start with "!" and are lower-cased; folders
  // without a recorded file below them are ours to leave out.
  std::string fls;
  ASSERT_EQ(testing::RunCapture("fls -r -d -p -l " + testing::ShellQuote(image_.string()), &fls),
            0);
  std::istringstream lines(fls);
  std::string line;
  int compared = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("r/r * ", 0) != 0) continue;
    std::vector<std::string> fields;
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    ASSERT_GE(fields.size(), 7u) << line;
    std::string path = fields[1];
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (path[base] == '_')
      path = path.substr(0, base) + "!" + platform::ToLowerAscii(path.substr(base + 1));
    SCOPED_TRACE(path);
    ASSERT_TRUE(all.contains(path)) << "fls names a deleted file the engine missed";
    EXPECT_EQ(std::to_string(all.at(path).size), fields[6]);
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(expected_files.size()));
}

// A deleted folder's chain is guessed from its first cluster on. When the
// folder was made just before its subfolder, the cluster after its first is
// the subfolder's: the guess must stop there rather than read the subfolder's
// entries as its own, which would list them twice, once in the wrong place.
TEST_P(FatVolumeTest, DeletedFolderChainStopsAtTheSubfolderMadeAfterIt) {
  ASSERT_EQ(testing::MakeDeletedFolderBeforeItsSubfolder(image_, testing::PatternBytes(300, 1)),
            "");

  CFastFatRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(image_, kImageSourceId), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  std::vector<std::string> inner;
  for (const auto& [path, record] : testing::ListAllRecords(engine)) {
    if (path.ends_with("nner.txt")) inner.push_back(path);
  }
  EXPECT_EQ(inner, std::vector<std::string>{"!/!/!nner.txt"});
}

// A deleted photo whose clusters were partly overwritten still starts like
// a JPEG or PNG; only decoding it or checking its checksums finds the
// damage. Damaged photos stay in the lists with the mark: the top of a photo
// that no longer decodes whole is still worth recovering.
TEST_P(FatVolumeTest, DeletedPhotosThatDoNotDecodeWholeAreMarkedDamaged) {
  const auto photos = carving::samples::WholeAndDamagedPhotos(temp_.path());
  if (photos.empty()) GTEST_SKIP() << "ImageMagick not available";
  std::vector<std::string> deleted;
  std::map<std::string, uint32_t> expected;
  for (const auto& photo : photos) {
    ASSERT_EQ(testing::FatWriteFile(image_, "/" + photo.name, photo.bytes), "");
    deleted.push_back("::/" + photo.name);
    expected[photo.name] = photo.whole ? 1 : 0;
  }
  ASSERT_EQ(Mtools(image_, "mdel", deleted), "");

  CFastFatRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(image_, kImageSourceId), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  const testing::ContentChecks checks = testing::ContentChecksByName(engine, "*.jpg|*.png");
  EXPECT_EQ(checks.listed, expected);
  EXPECT_EQ(checks.found, expected) << "a search marks what a listing marks";
  uint32_t counted = 0;
  ASSERT_EQ(engine.CountFiles(nullptr, 0, &counted), 0);
  EXPECT_EQ(counted, photos.size());
}

INSTANTIATE_TEST_SUITE_P(Formats, FatVolumeTest,
                         ::testing::Values(VolumeCase{"floppy_fat12_224_root_entries", {12, 1440}},
                                           VolumeCase{"fat12_4k_clusters", {12, 8192, 8}},
                                           VolumeCase{"fat16_2k_clusters", {16, 32768, 4}},
                                           VolumeCase{"fat16_512_root_entries",
                                                      {16, 20480, 1, 512, 512}},
                                           VolumeCase{"fat16_2k_sectors", {16, 65536, 1, 2048}},
                                           VolumeCase{"fat32_512_clusters", {32, 65536, 1}},
                                           VolumeCase{"fat32_4k_clusters", {32, 307200, 8}}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vexlo
