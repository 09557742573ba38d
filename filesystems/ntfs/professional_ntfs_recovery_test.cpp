// The formatted NTFS engine on real volumes made with mkntfs, ntfscp and an
// ntfs-3g mount, then formatted over or laid side by side on one medium, fed
// sector by sector as the formatted scan feeds it.
#include "filesystems/ntfs/professional_ntfs_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "carving/test_samples.h"
#include "ondisk/endian.h"
#include "platform/file.h"
#include "tests/support/fat_image.h"
#include "tests/support/formatted_feed.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_scan_history.h"

namespace vexlo {
namespace {

using testing::JpegBytes;
using testing::PatternBytes;
using testing::RecoverBytes;
using testing::TempDir;

constexpr uint64_t kVolumeBytes = 32ull << 20;

struct Scan {
  std::unique_ptr<testing::TempScanHistory> scan_log = std::make_unique<testing::TempScanHistory>();
  std::unique_ptr<CProfessionalNtfsRecovery> engine =
      std::make_unique<CProfessionalNtfsRecovery>(scan_log->history);
  std::map<std::string, FoundFileRecord> files;  // folder path + name
};

// Scans `image`, leaving out the sectors in [skip_begin, skip_end).
Scan ScanImage(const std::filesystem::path& image, uint64_t skip_begin = 0, uint64_t skip_end = 0) {
  Scan scan;
  EXPECT_EQ(scan.engine->OpenImage(image, 9), 0);
  EXPECT_EQ(scan.engine->Begin(nullptr), 0);
  const std::vector<uint8_t> medium =
      testing::ReadFileBytes(image, 0, static_cast<std::size_t>(std::filesystem::file_size(image)));
  testing::FeedSectors(medium, nullptr, scan.engine.get(), 0, skip_begin, skip_end);
  EXPECT_EQ(scan.engine->Finish(), 0);
  scan.files = testing::FilesByPath(*scan.engine, "*.txt|*.jpg|.other");
  return scan;
}

std::string QuickFormat(const std::filesystem::path& image) {
  std::string output;
  return testing::RunCapture(
             "mkntfs -F -Q -q -c 4096 " + testing::ShellQuote(image.string()) + " 2>&1", &output) ==
                 0
             ? ""
             : output;
}

TEST(ProfessionalNtfsRecovery, QuickFormattedVolumeGivesBackFilesWithTheirFolders) {
  if (!testing::NtfsToolsAvailable()) GTEST_SKIP() << "mkntfs/ntfscp not installed";
  TempDir dir;
  const auto image = dir / "disk.img";
  ASSERT_EQ(testing::MakeNtfsImage(image, 2 * kVolumeBytes), "");
  if (!testing::NtfsMakeFolders(image, {"/d1", "/d1/d2", "/d3"}).empty()) {
    GTEST_SKIP() << "no ntfs-3g mount to create folders";
  }
  const std::map<std::string, std::vector<uint8_t>> originals = {
      {"root.txt", PatternBytes(100, 1)},  // resident
      {"d1/a.dat", PatternBytes(20000, 2)}, {"d1/d2/b.dat", PatternBytes(100000, 3)},
      {"d3/c.txt", PatternBytes(3000, 4)},  {"d3/gone.dat", PatternBytes(5000, 5)},
  };
  for (const auto& [path, bytes] : originals) {
    ASSERT_EQ(testing::NtfsWriteFile(image, "/" + path, bytes), "");
  }
  const int64_t gone = testing::NtfsRecordOf(image, "/d3/gone.dat");
  ASSERT_GT(gone, 11);
  ASSERT_EQ(testing::DeleteNtfsRecord(image, static_cast<uint64_t>(gone)).error, "");
  ASSERT_EQ(QuickFormat(image), "");

  Scan scan = ScanImage(image);
  TempDir out;
  std::size_t found = 0;
  for (const auto& [path, bytes] : originals) {
    SCOPED_TRACE(path);
    if (!scan.files.contains(path)) continue;
    ++found;
    const FoundFileRecord& record = scan.files[path];
    EXPECT_EQ(uint32_t{record.fs_kind}, static_cast<uint32_t>(FsKind::kNtfsFormatted));
    EXPECT_EQ(uint32_t{record.deleted}, path == "d3/gone.dat" ? 1u : 0u);
    EXPECT_EQ(RecoverBytes(*scan.engine, record, out), bytes);
  }
  std::cout << "[ fraction ] quick-formatted NTFS: " << found << " of " << originals.size()
            << " files back\n";
  EXPECT_EQ(found, originals.size());
  // The folders come back by name, each once, and copy out as a tree.
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(scan.engine->ListFolder(nullptr, 0, &root), 0);
  std::vector<std::string> folders;
  for (const auto& record : root) {
    if (record.is_folder != 0) folders.emplace_back(record.Name());
  }
  // $Extend comes too: the volume's own files below it are numbered above 11.
  EXPECT_EQ(std::count(folders.begin(), folders.end(), "d1"), 1);
  EXPECT_EQ(std::count(folders.begin(), folders.end(), "d3"), 1);
  for (const auto& record : root) {
    if (std::string(record.Name()) != "d1") continue;
    ASSERT_EQ(scan.engine->RecoverFile(record, out / "d1", 0), 0);
    std::string text;
    ASSERT_EQ(platform::ReadWholeFile(out / "d1" / "d2" / "b.dat", &text), 0);
    EXPECT_EQ(std::vector<uint8_t>(text.begin(), text.end()), originals.at("d1/d2/b.dat"));
  }
}

// Empty files copy out as empty files, and previews read resident and
// non-resident data alike, into a file for pictures and into memory else.
TEST(ProfessionalNtfsRecovery, EmptyFilesAndPreviews) {
  if (!testing::NtfsToolsAvailable()) GTEST_SKIP() << "mkntfs/ntfscp not installed";
  TempDir dir;
  const auto image = dir / "disk.img";
  ASSERT_EQ(testing::MakeNtfsImage(image, kVolumeBytes), "");
  const auto photo = JpegBytes(30000, 31);
  const auto notes = PatternBytes(9000, 32);
  const auto small = PatternBytes(300, 33);
  ASSERT_EQ(testing::NtfsWriteFile(image, "/empty.txt", {}), "");
  ASSERT_EQ(testing::NtfsWriteFile(image, "/photo.jpg", photo), "");
  ASSERT_EQ(testing::NtfsWriteFile(image, "/notes.txt", notes), "");
  ASSERT_EQ(testing::NtfsWriteFile(image, "/small.txt", small), "");
  ASSERT_EQ(QuickFormat(image), "");
  Scan scan = ScanImage(image);
  for (const char* name : {"empty.txt", "photo.jpg", "notes.txt", "small.txt"}) {
    ASSERT_TRUE(scan.files.contains(name)) << name;
  }

  // The window hears that the empty file finished.
  TempDir out;
  std::vector<int32_t> percents;
  ASSERT_EQ(
      scan.engine->SetProgressCallbacks(
          nullptr,
          [](void* user, int32_t percent, int32_t, int32_t code, const char*, uint64_t) -> int32_t {
            static_cast<std::vector<int32_t>*>(user)->push_back(code == 0 ? percent : -code);
            return 0;
          },
          &percents, 100),
      0);
  EXPECT_EQ(RecoverBytes(*scan.engine, scan.files["empty.txt"], out), std::vector<uint8_t>{});
  EXPECT_EQ(percents, std::vector<int32_t>{100});

  std::string path;
  uint32_t count = 0;
  ASSERT_EQ(scan.engine->ExtractForPreview(scan.files["photo.jpg"], &path, nullptr, &count, nullptr,
                                           nullptr),
            0);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(testing::ReadFileBytes(path, 0, photo.size() + 1), photo);

  struct Case {
    const char* name;
    const std::vector<uint8_t>* bytes;
  };
  for (const Case& c : {Case{"notes.txt", &notes}, Case{"small.txt", &small}}) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> buffer(4000);
    count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(scan.engine->ExtractForPreview(scan.files[c.name], &path, buffer.data(), &count,
                                             nullptr, nullptr),
              0);
    EXPECT_TRUE(path.empty());
    const std::size_t expected = std::min(buffer.size(), c.bytes->size());
    ASSERT_EQ(count, expected);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + expected, c.bytes->begin()));
  }
}

// Photos of a formatted volume that were partly overwritten or cut before
// the format carry the damaged mark; whole ones do not.
TEST(ProfessionalNtfsRecovery, PhotosThatDoNotDecodeWholeAreMarkedDamaged) {
  if (!testing::NtfsToolsAvailable()) GTEST_SKIP() << "mkntfs/ntfscp not installed";
  TempDir dir;
  const auto photos = carving::samples::WholeAndDamagedPhotos(dir.path());
  if (photos.empty()) GTEST_SKIP() << "ImageMagick not available";
  const auto image = dir / "disk.img";
  ASSERT_EQ(testing::MakeNtfsImage(image, kVolumeBytes), "");
  std::map<std::string, uint32_t> expected;
  for (const auto& photo : photos) {
    ASSERT_EQ(testing::NtfsWriteFile(image, "/" + photo.name, photo.bytes), "");
    expected[photo.name] = photo.whole ? 1 : 0;
  }
  ASSERT_EQ(QuickFormat(image), "");
  Scan scan = ScanImage(image);
  testing::ContentChecks checks = testing::ContentChecksByName(*scan.engine, "*.jpg|*.png");
  // The volume's own metadata files ($Quota ...) are listed as well.
  std::erase_if(checks.listed, [](const auto& entry) { return entry.first.starts_with('$'); });
  EXPECT_EQ(checks.listed, expected);
  EXPECT_EQ(checks.found, expected) << "a search marks what a listing marks";
}

// The sector of a volume's $MFT record: the first FILE record numbered 0.
uint64_t MftRecordSector(const std::vector<uint8_t>& medium, uint64_t from) {
  for (uint64_t s = from; (s + 2) * 512 <= medium.size(); ++s) {
    const std::span<const uint8_t> sector(&medium[s * 512], 512);
    if (ntfs::IsFileRecordSector(sector, 512) && LoadLe32(sector, 44) == 0) return s;
  }
  return 0;
}

TEST(ProfessionalNtfsRecovery, EachMftGenerationPlacesItsOwnRecords) {
  if (!testing::NtfsToolsAvailable()) GTEST_SKIP() << "mkntfs/ntfscp not installed";
  TempDir dir;
  const auto first = dir / "first.img";
  const auto second = dir / "second.img";
  ASSERT_EQ(testing::MakeNtfsImage(first, kVolumeBytes), "");
  ASSERT_EQ(testing::MakeNtfsImage(second, kVolumeBytes), "");
  const auto old_bytes = PatternBytes(50000, 21);
  const auto new_bytes = PatternBytes(60000, 22);
  ASSERT_EQ(testing::NtfsWriteFile(first, "/old.dat", old_bytes), "");
  ASSERT_EQ(testing::NtfsWriteFile(second, "/new.dat", new_bytes), "");
  // One medium, two volumes: the second begins where the first ends. Both
  // have their MFT at the same place within the volume and number their
  // files alike.
  const auto medium = dir / "medium.img";
  std::vector<uint8_t> bytes = testing::ReadFileBytes(first, 0, kVolumeBytes);
  const auto tail = testing::ReadFileBytes(second, 0, kVolumeBytes);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  testing::WriteFileBytes(medium, 0, bytes);
  const uint64_t second_start = kVolumeBytes / 512;
  const uint64_t first_mft = MftRecordSector(bytes, 0);
  ASSERT_GT(first_mft, 0u);

  struct Case {
    const char* label;
    uint64_t skip_begin, skip_end;
  };
  const Case cases[] = {
      {"both $MFT records seen", 0, 0},
      // The first volume starts at the configured partition start, so a
      // contiguous MFT places its records right without their $MFT.
      {"first $MFT record never seen", first_mft, first_mft + 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Scan scan = ScanImage(medium, c.skip_begin, c.skip_end);
    ASSERT_TRUE(scan.files.contains("old.dat"));
    ASSERT_TRUE(scan.files.contains("new.dat"));
    EXPECT_EQ(uint64_t{scan.files["old.dat"].partition_start}, 0u);
    EXPECT_EQ(uint64_t{scan.files["new.dat"].partition_start}, second_start);
    EXPECT_EQ(int32_t{scan.files["new.dat"].cluster_bytes}, 4096);
    TempDir out;
    EXPECT_EQ(RecoverBytes(*scan.engine, scan.files["old.dat"], out), old_bytes);
    EXPECT_EQ(RecoverBytes(*scan.engine, scan.files["new.dat"], out), new_bytes);
    uint64_t data_sector = 0;
    ASSERT_TRUE(scan.engine->FirstDataSector(scan.files["new.dat"], &data_sector));
    EXPECT_EQ(testing::ReadFileBytes(medium, data_sector * 512, 512),
              std::vector<uint8_t>(new_bytes.begin(), new_bytes.begin() + 512));
  }
}

}  // namespace
}  // namespace vexlo
