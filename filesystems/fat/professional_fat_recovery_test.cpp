// The formatted FAT engine on real volumes made with dosfstools and mtools,
// then formatted over or damaged, fed sector by sector as the formatted scan
// feeds it.
#include "filesystems/fat/professional_fat_recovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "carving/test_samples.h"
#include "ondisk/endian.h"
#include "platform/file.h"
#include "tests/support/fat_image.h"
#include "tests/support/formatted_feed.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_scan_history.h"

namespace vexlo {
namespace {

using testing::FatFormat;
using testing::FatLayout;
using testing::FatWriteFile;
using testing::Mtools;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::RecoverBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// A finished scan of an image and what it found.
struct Scan {
  std::unique_ptr<testing::TempScanHistory> scan_log = std::make_unique<testing::TempScanHistory>();
  std::unique_ptr<CProfessionalFatRecovery> engine =
      std::make_unique<CProfessionalFatRecovery>(scan_log->history);
  // "folder/path/" + name → record
  std::map<std::string, FoundFileRecord> files;
};

std::string Reformat(const std::filesystem::path& image, int fat_bits, int sectors_per_cluster) {
  std::string output;
  const int status = testing::RunCapture("mkfs.fat --invariant -F " + std::to_string(fat_bits) +
                                             " -s " + std::to_string(sectors_per_cluster) + " " +
                                             testing::ShellQuote(image.string()) + " 2>&1",
                                         &output);
  return status == 0 ? "" : output;
}

using Files = std::map<std::string, std::vector<uint8_t>>;

// A new image of `format` with `folders` made (mtools paths, "::/a") and
// `files` written, each at "/" + its key; "" or what failed.
std::string MakeImageWith(const std::filesystem::path& image, const FatFormat& format,
                          const std::vector<std::string>& folders, const Files& files) {
  std::string error = testing::MakeFatImage(image, format);
  if (error.empty()) error = Mtools(image, "mmd", folders);
  for (auto it = files.begin(); error.empty() && it != files.end(); ++it) {
    error = FatWriteFile(image, "/" + it->first, it->second);
  }
  return error;
}

// The folder path with its first component replaced by "LostFolder<n>":
// what a folder named only in a root that was cleared comes back as.
bool UnderLostTopFolder(const std::string& path, const std::string& rest) {
  return std::regex_match(path, std::regex("LostFolder[0-9]+/" + rest));
}

// Each test makes, damages and scans one card image of its own.
class ProfessionalFatRecovery : public ::testing::Test {
 protected:
  // The image fed sector by sector after the engine read what it could of
  // the boot sector.
  Scan ScanCard() const {
    Scan scan;
    EXPECT_EQ(scan.engine->OpenImage(image_, 7), 0);
    EXPECT_EQ(scan.engine->Begin(nullptr), 0);
    EXPECT_EQ(scan.engine->Seed(), 0);
    const std::vector<uint8_t> medium =
        ReadFileBytes(image_, 0, static_cast<std::size_t>(std::filesystem::file_size(image_)));
    testing::FeedSectors(medium, scan.engine.get(), nullptr);
    EXPECT_EQ(scan.engine->Finish(), 0);
    scan.files = testing::FilesByPath(*scan.engine, "*.txt|.other");
    return scan;
  }

  TempDir dir_;
  const std::filesystem::path image_ = dir_ / "card.img";
};

TEST_F(ProfessionalFatRecovery, QuickFormattedVolumeGivesBackFilesOutsideTheRoot) {
  const Files originals = {
      {"root.txt", PatternBytes(700, 1)},
      {"docs/a.txt", PatternBytes(3000, 2)},
      {"docs/sub/b.dat", PatternBytes(70000, 3)},
      {"docs/sub/A long name, more than 8.3.txt", PatternBytes(1025, 4)},
      {"pics/c.dat", PatternBytes(5000, 5)},
      {"docs/gone.txt", PatternBytes(2048, 6)},
  };
  ASSERT_EQ(MakeImageWith(image_, FatFormat{32, 65536, 1}, {"::/docs", "::/docs/sub", "::/pics"},
                          originals),
            "");
  ASSERT_EQ(Mtools(image_, "mdel", {"::/docs/gone.txt"}), "");
  ASSERT_EQ(Reformat(image_, 32, 1), "");

  Scan scan = ScanCard();
  // The new root replaced the old one: what it named is gone, the folders it
  // named come back nameless, everything below them with names.
  struct Expect {
    std::string original, folder_pattern, name;
    bool deleted;
  };
  const std::vector<Expect> expected = {
      {"docs/a.txt", "", "a.txt", false},
      {"docs/sub/b.dat", "sub/", "b.dat", false},
      {"docs/sub/A long name, more than 8.3.txt", "sub/", "A long name, more than 8.3.txt", false},
      {"pics/c.dat", "", "c.dat", false},
      {"docs/gone.txt", "", "gone.txt", true},
  };
  TempDir out;
  int found = 0;
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.original);
    const FoundFileRecord* hit = nullptr;
    for (const auto& [key, record] : scan.files) {
      const std::string name(record.Name());
      const std::string path = key.substr(0, key.size() - name.size());
      const bool name_ok = e.deleted ? name.ends_with(e.name.substr(1)) : name == e.name;
      if (name_ok && UnderLostTopFolder(path, e.folder_pattern)) hit = &record;
    }
    ASSERT_NE(hit, nullptr);
    ++found;
    EXPECT_EQ(uint32_t{hit->deleted}, e.deleted ? 1u : 0u);
    EXPECT_EQ(uint32_t{hit->fs_kind}, static_cast<uint32_t>(FsKind::kFatFormatted));
    EXPECT_EQ(RecoverBytes(*scan.engine, *hit, out), originals.at(e.original));
  }
  for (const auto& [key, record] : scan.files) EXPECT_NE(std::string(record.Name()), "root.txt");
  std::cout << "[ fraction ] quick-formatted FAT32: " << found << " of " << originals.size()
            << " files back (the root's own file went with the cleared root)\n";
}

// Photos of a formatted card that were partly overwritten or cut before the
// format carry the damaged mark; whole ones do not.
TEST_F(ProfessionalFatRecovery, PhotosThatDoNotDecodeWholeAreMarkedDamaged) {
  const auto photos = carving::samples::WholeAndDamagedPhotos(dir_.path());
  if (photos.empty()) GTEST_SKIP() << "ImageMagick not available";
  // In a folder: the format clears the root and what it named.
  Files files;
  std::map<std::string, uint32_t> expected;
  for (const auto& photo : photos) {
    files["DCIM/" + photo.name] = photo.bytes;
    expected[photo.name] = photo.whole ? 1 : 0;
  }
  ASSERT_EQ(MakeImageWith(image_, FatFormat{32, 65536, 1}, {"::/DCIM"}, files), "");
  ASSERT_EQ(Reformat(image_, 32, 1), "");
  Scan scan = ScanCard();
  const testing::ContentChecks checks = testing::ContentChecksByName(*scan.engine, "*.jpg|*.png");
  EXPECT_EQ(checks.listed, expected);
  EXPECT_EQ(checks.found, expected) << "a search marks what a listing marks";
}

TEST_F(ProfessionalFatRecovery, FilesOfAFolderWhoseFirstClusterWasOverwrittenGoToLostFolders) {
  ASSERT_EQ(testing::MakeFatImage(image_, FatFormat{32, 65536, 1}), "");
  ASSERT_EQ(Mtools(image_, "mmd", {"::/dir"}), "");
  std::map<std::string, std::vector<uint8_t>> originals;
  for (int i = 0; i < 30; ++i) {
    const std::string name = "file number " + std::to_string(100 + i) + ".txt";
    originals[name] = PatternBytes(600 + i, 100 + i);
    ASSERT_EQ(FatWriteFile(image_, "/dir/" + name, originals[name]), "");
  }
  // Find the folder's first two clusters through the root and the FAT, then
  // overwrite the first.
  const FatLayout layout = testing::ReadFatLayout(image_);
  const auto root = ReadFileBytes(image_, layout.ClusterOffset(layout.root_cluster), 512);
  uint32_t first = 0;
  for (std::size_t at = 0; at + 32 <= root.size(); at += 32) {
    if (std::memcmp(&root[at], "DIR        ", 11) == 0) {
      first = LoadLe16(root, at + 26) | (uint32_t{LoadLe16(root, at + 20)} << 16);
    }
  }
  ASSERT_GE(first, 3u);
  const auto fat = ReadFileBytes(image_, uint64_t{layout.reserved_sectors} * 512 + first * 4, 4);
  const uint32_t second = LoadLe32(fat, 0) & 0x0FFFFFFF;
  ASSERT_GE(second, 3u);
  ASSERT_LT(second, 0x0FFFFFF8u);
  WriteFileBytes(image_, layout.ClusterOffset(first), std::vector<uint8_t>(512, 0x5A));

  Scan scan = ScanCard();
  TempDir out;
  int in_second = 0;
  for (const auto& [key, record] : scan.files) {
    std::string name(record.Name());
    // The fifth file's long-name entries filled the end of the lost cluster;
    // its short entry opens the next one.
    if (name == "filenu~5.txt") name = "file number 104.txt";
    ASSERT_TRUE(originals.contains(name)) << key;
    EXPECT_TRUE(std::regex_match(key, std::regex("LostFolder[0-9]+/[^/]+"))) << key;
    if (key.starts_with("LostFolder" + std::to_string(second) + "/")) ++in_second;
    EXPECT_EQ(RecoverBytes(*scan.engine, record, out), originals[name]) << key;
  }
  EXPECT_GT(in_second, 0);
  // The first cluster held "." and ".." and four files of three entries each.
  std::cout << "[ fraction ] overwritten first cluster: " << scan.files.size() << " of "
            << originals.size() << " files back (the rest were named in the lost cluster)\n";
  EXPECT_EQ(scan.files.size(), originals.size() - 4);
}

struct ZeroedCase {
  int fat_bits;
  int sectors_per_cluster;
};

class ZeroedBootAndFat : public ProfessionalFatRecovery,
                         public ::testing::WithParamInterface<ZeroedCase> {};

TEST_P(ZeroedBootAndFat, GeometryComesFromDirectoryPositionsAlone) {
  const ZeroedCase c = GetParam();
  const Files originals = {
      {"root.txt", PatternBytes(900, 11)},
      {"a/one.txt", PatternBytes(10000, 12)},
      {"a/b/two.dat", PatternBytes(40000, 13)},
      {"c/three.txt", PatternBytes(1, 14)},
  };
  ASSERT_EQ(MakeImageWith(
                image_, FatFormat{c.fat_bits, 65536, static_cast<uint32_t>(c.sectors_per_cluster)},
                {"::/a", "::/a/b", "::/c"}, originals),
            "");
  const FatLayout layout = testing::ReadFatLayout(image_);
  // Everything before the directories: boot sector, reserved sectors, FATs.
  const uint64_t cleared = layout.fat32 ? layout.data_offset : layout.root_offset;
  WriteFileBytes(image_, 0, std::vector<uint8_t>(cleared, 0));

  Scan scan = ScanCard();
  const auto& geometries = scan.engine->rebuilder().geometries();
  ASSERT_FALSE(geometries.empty());
  EXPECT_EQ(geometries[0].sectors_per_cluster, layout.sectors_per_cluster);
  EXPECT_EQ(geometries[0].first_data_sector, layout.data_offset / 512);
  TempDir out;
  for (const auto& [path, bytes] : originals) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(scan.files.contains(path));
    EXPECT_EQ(RecoverBytes(*scan.engine, scan.files[path], out), bytes);
  }
  EXPECT_EQ(scan.files.size(), originals.size());
}

INSTANTIATE_TEST_SUITE_P(Fat, ZeroedBootAndFat,
                         ::testing::Values(ZeroedCase{32, 1}, ZeroedCase{16, 4}),
                         [](const auto& info) {
                           return "Fat" + std::to_string(info.param.fat_bits);
                         });

// A long name whose entries a boundary splits, crafted into a fresh volume:
// directory X at cluster 100 ends inside the name's run, which goes on in the
// directory's next cluster (150, later on the medium) or next sector.
struct SplitCase {
  const char* label;
  uint32_t sectors_per_cluster;
  uint32_t split_at_bytes;  // where in cluster 100 the run is cut
  uint32_t next_cluster;    // 0: the run goes on in the same cluster
};

class SplitLongName : public ProfessionalFatRecovery,
                      public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitLongName, IsStitchedBackTogether) {
  const SplitCase c = GetParam();
  ASSERT_EQ(testing::MakeFatImage(image_, FatFormat{32, 65536, c.sectors_per_cluster}), "");
  const FatLayout layout = testing::ReadFatLayout(image_);
  constexpr uint32_t kDir = 100, kData = 400, kFillerData = 300;
  const std::u16string long_name = u"a long name that needs four entries, truly.txt";
  const std::string short_name = "ALONGN~1TXT";
  const std::vector<uint8_t> content = PatternBytes(1500, 42);

  std::vector<testing::RawDirEntry> entries = {
      testing::ShortEntry(".          ", 0x10, kDir, 0),
      testing::ShortEntry("..         ", 0x10, 0, 0),
  };
  while (entries.size() * 32 < c.split_at_bytes - 2 * 32) {
    char name[12];
    std::snprintf(name, sizeof name, "FILL%04zuTXT", entries.size());
    entries.push_back(testing::ShortEntry(name, 0x20, kFillerData, 10));
  }
  const auto run = testing::LongNameEntries(long_name, short_name);
  ASSERT_EQ(run.size(), 4u);
  std::vector<testing::RawDirEntry> rest(run.begin() + 2, run.end());
  entries.insert(entries.end(), run.begin(), run.begin() + 2);
  rest.push_back(
      testing::ShortEntry(short_name, 0x20, kData, static_cast<uint32_t>(content.size())));

  auto bytes_of = [](const std::vector<testing::RawDirEntry>& list) {
    std::vector<uint8_t> bytes;
    for (const auto& e : list) bytes.insert(bytes.end(), e.begin(), e.end());
    return bytes;
  };
  WriteFileBytes(image_, layout.ClusterOffset(kDir), bytes_of(entries));
  const uint64_t rest_at = c.next_cluster != 0 ? layout.ClusterOffset(c.next_cluster)
                                               : layout.ClusterOffset(kDir) + c.split_at_bytes;
  WriteFileBytes(image_, rest_at, bytes_of(rest));
  WriteFileBytes(image_, layout.ClusterOffset(kData), content);
  const std::vector<testing::RawDirEntry> root = {
      testing::ShortEntry("DIRX       ", 0x10, kDir, 0)};
  WriteFileBytes(image_, layout.ClusterOffset(layout.root_cluster), bytes_of(root));

  Scan scan = ScanCard();
  const std::string expected = "dirx/a long name that needs four entries, truly.txt";
  ASSERT_TRUE(scan.files.contains(expected)) << "found " << scan.files.size() << " files";
  TempDir out;
  EXPECT_EQ(RecoverBytes(*scan.engine, scan.files[expected], out), content);
  EXPECT_EQ(scan.engine->rebuilder().long_name_tails(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Fat32, SplitLongName,
                         ::testing::Values(SplitCase{"NextClusterLater", 1, 512, 150},
                                           SplitCase{"NextClusterOfFourSectors", 4, 2048, 150},
                                           SplitCase{"SectorBoundaryInsideCluster", 4, 512, 0}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vexlo
