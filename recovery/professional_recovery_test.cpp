#include "recovery/professional_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "carving/test_samples.h"
#include "engine/scan_history.h"
#include "recovery/engine_factory.h"
#include "recovery/sector_router.h"
#include "tests/support/fat_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using samples::WriteImage;

// The bundled sample card: FAT32 with deleted photos, a deleted folder, a
// deleted text file and PNG.
std::filesystem::path SampleCard(const testing::TempDir& dir) {
  const auto image = dir / "sample-card.img";
  const std::string command = "xz -dc " +
                              testing::ShellQuote(VEXLO_SOURCE_DIR "/samples/sample-card.img.xz") +
                              " > " + testing::ShellQuote(image.string());
  EXPECT_EQ(std::system(command.c_str()), 0);
  return image;
}

using testing::RecordKey;

std::set<RecordKey> Keys(const std::vector<FoundFileRecord>& records) {
  std::set<RecordKey> keys;
  for (const auto& r : records) keys.insert(testing::KeyOf(r));
  return keys;
}

// Cancels after a number of progress calls from the main phase.
struct CancelAfter {
  int calls_left;
  static int32_t Callback(void* user, int32_t, int32_t scale, int32_t, uint64_t, uint64_t, uint64_t,
                          int32_t) {
    auto* self = static_cast<CancelAfter*>(user);
    if (scale != 90) return 0;  // only the main phase counts
    return --self->calls_left <= 0 ? kCancelCode : 0;
  }
};

constexpr const char* kEverything = "*.other|*.jpg|*.png|*.txt|*.wav|*.pdf";

std::vector<FoundFileRecord> FindAll(IFileRecoveryParse& engine) {
  std::vector<FoundFileRecord> found;
  EXPECT_EQ(engine.FindFiles(kEverything, &found), 0);
  return found;
}

TEST(SectorRouterTest, EachKindReachesItsHandler) {
  std::vector<uint8_t> file_record = samples::MakeNtfsFileRecord();
  // Bytes in use 400, allocated 1024, sequence number repeated at the end.
  file_record[24] = 0x90;
  file_record[25] = 0x01;
  file_record[28] = 0x00;
  file_record[29] = 0x04;
  file_record[48] = 0x07;
  file_record[510] = 0x07;
  std::vector<uint8_t> folder_record = file_record;
  folder_record[22] = 0x03;

  std::vector<uint8_t> dir_start(512, 0);
  testing::RawDirEntry dot = testing::ShortEntry(".          ", 0x10, 5, 0);
  testing::RawDirEntry dot_dot = testing::ShortEntry("..         ", 0x10, 0, 0);
  std::copy(dot.begin(), dot.end(), dir_start.begin());
  std::copy(dot_dot.begin(), dot_dot.end(), dir_start.begin() + 32);

  std::vector<uint8_t> dir_data(512, 0);
  testing::RawDirEntry photo = testing::ShortEntry("PHOTO   JPG", 0x20, 9, 1234);
  std::copy(photo.begin(), photo.end(), dir_data.begin());

  const std::vector<uint8_t> random = samples::Filler(512, 3);

  EXPECT_EQ(RouteSector(file_record.data(), 512), SectorRoute::kNtfsFileRecord);
  EXPECT_EQ(RouteSector(folder_record.data(), 512), SectorRoute::kNtfsFolderRecord);
  EXPECT_EQ(RouteSector(dir_start.data(), 512), SectorRoute::kFatDirectoryStart);
  EXPECT_EQ(RouteSector(dir_data.data(), 512), SectorRoute::kFatDirectoryData);
  EXPECT_EQ(RouteSector(random.data(), 512), SectorRoute::kCarve);
}

TEST(ProfessionalRecoveryTest, RawMediumIsCarvedWhole) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(8192, 11);
  medium.Place(100, samples::MakeWav(50'000));
  medium.Place(4000, samples::MakePdf(20'000, "\n"));
  const auto image = dir / "raw.img";
  WriteImage(image, medium.bytes());

  auto engine = CreateEngineForImage(history, image, 0x8000, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  const auto found = FindAll(*engine);
  std::set<std::string> names;
  for (const auto& r : found) names.insert(std::string(r.Name()));
  EXPECT_TRUE(names.count("100.wav")) << found.size();
  EXPECT_TRUE(names.count("4000.pdf"));
  auto* driver = dynamic_cast<CProfessionalRecovery*>(engine.get());
  ASSERT_NE(driver, nullptr);
  EXPECT_LE(driver->sectors_read(), medium.sectors());
}

TEST(ProfessionalRecoveryTest, FatVolumeListsDeletedFilesOnceInTypeViewAndTwiceAtRoot) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto image = SampleCard(dir);
  auto engine = CreateEngineForImage(history, image, 0x8001, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);

  std::vector<FoundFileRecord> photos;
  ASSERT_EQ(engine->FindFiles("*.jpg", &photos), 0);
  // The quick engine names the deleted photos; carving finds their data at
  // the same first sectors and is left out of the type view.
  std::multiset<uint64_t> starts;
  int quick = 0;
  for (const auto& r : photos) {
    if (r.fs_kind == static_cast<uint32_t>(FsKind::kFatQuick)) ++quick;
  }
  EXPECT_GE(quick, 4) << "IMG_0002, IMG_0005 and the two holiday photos";
  for (const auto& r : photos) {
    if (r.fs_kind == static_cast<uint32_t>(FsKind::kCarving))
      starts.insert(uint64_t{r.entry_sector});
  }
  for (const auto& r : photos) {
    if (r.fs_kind != static_cast<uint32_t>(FsKind::kFatQuick)) continue;
    const uint64_t first = r.partition_start + r.data_start +
                           (r.key - 2) * static_cast<uint64_t>(r.cluster_bytes) / 512;
    EXPECT_EQ(starts.count(first), 0u) << r.Name() << " also listed as carved";
  }

  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine->ListFolder(nullptr, 0, &root), 0);
  int carved_at_root = 0;
  for (const auto& r : root) carved_at_root += r.fs_kind == static_cast<uint32_t>(FsKind::kCarving);
  EXPECT_GT(carved_at_root, 0) << "the root listing merges without duplicate removal";
}

TEST(ProfessionalRecoveryTest, CancelledScanContinuesToTheSameResults) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(20000, 5);
  for (uint64_t s = 50; s < 19000; s += 1900) medium.Place(s, samples::MakeWav(40'000));
  const auto image = dir / "card.img";
  WriteImage(image, medium.bytes());
  const auto reference_image = dir / "reference.img";
  WriteImage(reference_image, medium.bytes());

  std::set<RecordKey> reference;
  {
    auto engine = CreateEngineForImage(history, reference_image, 0x8002, kFormattedScanMode);
    ASSERT_EQ(engine->Scan(nullptr), 0);
    for (auto key : Keys(FindAll(*engine))) reference.insert(key);
  }
  ASSERT_GE(reference.size(), 10u);

  {
    auto engine = CreateEngineForImage(history, image, 0x8003, kFormattedScanMode);
    CancelAfter cancel{3};
    ASSERT_EQ(engine->SetProgressCallbacks(&CancelAfter::Callback, nullptr, &cancel, 100), 0);
    ASSERT_EQ(engine->Scan(nullptr), kCancelCode);
    EXPECT_LT(FindAll(*engine).size(), reference.size());
  }
  auto engine = CreateEngineForImage(history, image, 0x8003, kFormattedScanMode);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  auto* driver = dynamic_cast<CProfessionalRecovery*>(engine.get());
  EXPECT_TRUE(driver->continued_scan());
  EXPECT_LT(driver->sectors_read(), medium.sectors()) << "a continued scan reads only the rest";
  EXPECT_EQ(Keys(FindAll(*engine)), reference);
  EXPECT_EQ(engine->GetRecordCount(), reference.size()) << "no record counted twice";

  // A finished scan is shown again without reading the medium.
  auto again = CreateEngineForImage(history, image, 0x8003, kFormattedScanMode);
  ASSERT_EQ(again->Scan(nullptr), 0);
  EXPECT_TRUE(dynamic_cast<CProfessionalRecovery*>(again.get())->continued_scan());
  EXPECT_EQ(dynamic_cast<CProfessionalRecovery*>(again.get())->sectors_read(), 0u);
  EXPECT_EQ(Keys(FindAll(*again)), reference);
}

// A scan cancelled during a file's length search keeps that file with the
// length reached; continuing does not record it again.
TEST(ProfessionalRecoveryTest, ContinuingAfterACancelledLengthSearchRecordsNoFileTwice) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4096, 8);
  const std::vector<uint8_t> mkv = {0x1A, 0x45, 0xDF, 0xA3, 0x01, 0x00, 0x00, 0x00,
                                    0x00, 0x00, 0x00, 0x1F, 0x42, 0x86, 0x81, 0x01};
  medium.Place(100, mkv);
  medium.Place(3000, samples::MakeWav(5000));
  const auto image = dir / "card.img";
  WriteImage(image, medium.bytes());
  {
    auto engine = CreateEngineForImage(history, image, 0x8009, kFormattedScanMode);
    ASSERT_NE(engine, nullptr);
    // The first main-phase report is the MKV search's first chunk.
    CancelAfter cancel{2};
    ASSERT_EQ(engine->SetProgressCallbacks(&CancelAfter::Callback, nullptr, &cancel, 90), 0);
    ASSERT_EQ(engine->Scan(nullptr), kCancelCode);
  }
  auto engine = CreateEngineForImage(history, image, 0x8009, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  ASSERT_TRUE(dynamic_cast<CProfessionalRecovery*>(engine.get())->continued_scan());
  std::vector<FoundFileRecord> found;
  ASSERT_EQ(engine->FindFiles("*.mkv|*.wav", &found), 0);
  std::multiset<std::string> names;
  for (const auto& r : found) names.insert(std::string(r.Name()));
  EXPECT_EQ(names.count("100.mkv"), 1u);
  EXPECT_EQ(names.count("3000.wav"), 1u);
  EXPECT_EQ(engine->GetRecordCount(), names.size());
}

TEST(ProfessionalRecoveryTest, ChangedImageStartsAfresh) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4096, 9);
  medium.Place(10, samples::MakeWav(20'000));
  const auto image = dir / "card.img";
  WriteImage(image, medium.bytes());
  {
    auto engine = CreateEngineForImage(history, image, 0x8004, kFormattedScanMode);
    ASSERT_EQ(engine->Scan(nullptr), 0);
  }
  // Touch the image: a new modification time means new content may be there.
  ASSERT_EQ(
      std::system(("touch -d '2030-01-01 00:00' " + testing::ShellQuote(image.string())).c_str()),
      0);
  auto engine = CreateEngineForImage(history, image, 0x8004, kFormattedScanMode);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  auto* driver = dynamic_cast<CProfessionalRecovery*>(engine.get());
  EXPECT_FALSE(driver->continued_scan());
  EXPECT_EQ(driver->sectors_read(), medium.sectors());
  EXPECT_EQ(FindAll(*engine).size(), 1u);
}

TEST(EngineFactoryTest, ModesAndTypes) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto card = SampleCard(dir);
  EXPECT_NE(dynamic_cast<CProfessionalRecovery*>(
                CreateEngineForImage(history, card, 0x8005, kFormattedScanMode).get()),
            nullptr);
  auto quick = CreateEngineForImage(history, card, 0x8005, kQuickScanMode);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(dynamic_cast<CProfessionalRecovery*>(quick.get()), nullptr);

  const auto raw = dir / "raw.img";
  WriteImage(raw, std::vector<uint8_t>(64 * 1024, 0x5A));
  EXPECT_EQ(CreateEngineForImage(history, raw, 0x8006, kQuickScanMode), nullptr)
      << "raw needs deep mode";
  EXPECT_NE(CreateEngineForImage(history, raw, 0x8006, kFormattedScanMode), nullptr);

  const auto tiny = dir / "tiny.img";
  WriteImage(tiny, std::vector<uint8_t>(16383, 0));
  EXPECT_EQ(CreateEngineForImage(history, tiny, 0x8007, kQuickScanMode), nullptr)
      << "too short to recognise a file system";
  EXPECT_NE(CreateEngineForImage(history, tiny, 0x8007, kFormattedScanMode), nullptr)
      << "but its sectors can still be carved";
  EXPECT_EQ(CreateEngineForImage(history, dir / "missing.img", 0x8008, kQuickScanMode), nullptr);
}

// An ext volume gets an engine that finds nothing in quick mode; a deep scan,
// given no free-space map, reads the whole volume.
TEST(EngineFactoryTest, ExtVolumeFindsNothingQuicklyAndIsScannedWholeDeep) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto image = dir / "ext.img";
  WriteImage(image, std::vector<uint8_t>(4 << 20, 0));
  if (std::system(
          ("mkfs.ext4 -q -F " + testing::ShellQuote(image.string()) + " 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "mkfs.ext4 not installed";
  }
  auto quick = CreateEngineForImage(history, image, 0x800A, kQuickScanMode);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(quick->Scan(nullptr), 0);
  EXPECT_EQ(quick->GetRecordCount(), 0u);
  EXPECT_EQ(quick->SetSearchCallback(nullptr, nullptr), 0);
  std::vector<FoundFileRecord> found;
  EXPECT_EQ(quick->ListFolder(nullptr, 1, &found), 0);
  EXPECT_EQ(quick->FindFiles(kEverything, &found), 0);
  EXPECT_TRUE(found.empty());

  auto deep = CreateEngineForImage(history, image, 0x800B, kFormattedScanMode);
  ASSERT_NE(deep, nullptr);
  ASSERT_EQ(deep->Scan(nullptr), 0);
  EXPECT_EQ(dynamic_cast<CProfessionalRecovery*>(deep.get())->sectors_read(),
            std::filesystem::file_size(image) / 512);
}

}  // namespace
}  // namespace vexlo
