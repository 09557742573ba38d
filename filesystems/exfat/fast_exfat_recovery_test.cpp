// The engine on exFAT volumes made by mkfs.exfat and filled and emptied by
// the test helper as a driver does it; checked against what the test wrote,
// against fsck.exfat, and against The Sleuth Kit's listing of the image.
#include "filesystems/exfat/fast_exfat_recovery.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "engine/scan_history.h"
#include "platform/filetime.h"
#include "platform/text.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::ExFatItem;
using testing::ExFatLayout;

constexpr uint16_t kSourceId = 0x8000;
// 2024-07-15 13:45:58 local, +1.50 s, UTC+2.
constexpr testing::ExFatStamp kStamp{
    (uint32_t{(44u << 9) | (7u << 5) | 15u} << 16) | ((13u << 11) | (45u << 5) | 29u), 150,
    0x80 | 8};

class ExFatVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = temp_ / "card.img";
    ASSERT_EQ(volume_.Format(image_, 32, 4096), "");
  }
  ExFatItem Add(uint32_t parent, const std::u16string& name, std::size_t size, ExFatLayout layout,
                uint64_t data_length = 0) {
    const auto bytes = testing::PatternBytes(size, static_cast<uint32_t>(hashes_.size() + 1));
    const ExFatItem item = volume_.AddFile(parent, name, bytes, layout, kStamp, data_length);
    auto expected = bytes;
    expected.resize(std::max<uint64_t>(data_length, size), 0);
    hashes_[platform::Utf16ToUtf8(name)] = testing::Sha256OfBytes(expected);
    sizes_[platform::Utf16ToUtf8(name)] = expected.size();
    return item;
  }
  std::string Fsck() {
    std::string output;
    const int status = testing::RunCapture(
        "fsck.exfat -n " + testing::ShellQuote(image_.string()) + " 2>&1", &output);
    return status == 0 ? "" : output;
  }

  testing::TempDir temp_;
  ScanHistory history_{temp_ / "ScanLog"};
  std::filesystem::path image_;
  testing::ExFatImage volume_;
  std::map<std::string, std::string> hashes_;
  std::map<std::string, uint64_t> sizes_;
};

TEST_F(ExFatVolumeTest, FindsDeletedFilesAndRecoversTheirBytes) {
  std::u16string long_name = u"Grüße vom Strand – ";
  while (long_name.size() < 240) long_name += u"Sommer ";
  long_name += u"写真.dat";
  const uint32_t root = volume_.root();
  Add(root, u"keep.bin", 5000, ExFatLayout::kChained);
  const auto contiguous = Add(root, u"contiguous.bin", 10000, ExFatLayout::kContiguous);
  const auto chained = Add(root, long_name, 9000, ExFatLayout::kChained);
  const auto fragmented = Add(root, u"fragmented.bin", 20000, ExFatLayout::kFragmented);
  const auto half = Add(root, u"half written.bin", 3000, ExFatLayout::kContiguous, 10000);
  const auto empty = Add(root, u"empty.txt", 0, ExFatLayout::kContiguous);
  const auto live_dir = volume_.AddFolder(root, u"Live dir", kStamp);
  const auto inner = Add(live_dir.first_cluster(), u"inner.bin", 5000, ExFatLayout::kContiguous);
  Add(live_dir.first_cluster(), u"live.bin", 100, ExFatLayout::kContiguous);
  const auto gone = volume_.AddFolder(root, u"Gone", kStamp);
  Add(gone.first_cluster(), u"a.bin", 9000, ExFatLayout::kFragmented);
  const auto sub = volume_.AddFolder(gone.first_cluster(), u"Sub", kStamp);
  const auto deep = Add(sub.first_cluster(), u"deep file.bin", 40000, ExFatLayout::kChained);
  const auto empty_gone = volume_.AddFolder(root, u"Empty gone", kStamp);
  ASSERT_EQ(volume_.Save(), "");
  ASSERT_EQ(Fsck(), "") << "the helper must write what exFAT accepts";

  // "a.bin" stays in use inside its deleted folder, as a crash mid-delete
  // leaves it.
  for (const ExFatItem* item : {&contiguous, &chained, &fragmented, &half, &empty, &inner, &gone,
                                &sub, &deep, &empty_gone}) {
    volume_.Delete(*item);
  }
  ASSERT_EQ(volume_.Save(), "");

  CFastExFatRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(image_, kSourceId), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  const auto all = testing::ListAllRecords(engine);
  const std::string long_utf8 = platform::Utf16ToUtf8(long_name);
  const std::map<std::string, std::string> expected_files = {
      {"contiguous.bin", "contiguous.bin"},
      {long_utf8, long_utf8},
      {"fragmented.bin", "fragmented.bin"},
      {"half written.bin", "half written.bin"},
      {"empty.txt", "empty.txt"},
      {"Live dir/inner.bin", "inner.bin"},
      {"Gone/a.bin", "a.bin"},
      {"Gone/Sub/deep file.bin", "deep file.bin"},
  };
  std::size_t files = 0;
  for (const auto& [path, record] : all) files += record.is_folder ? 0 : 1;
  EXPECT_EQ(files, expected_files.size()) << "live files must not be listed";
  ASSERT_NO_FATAL_FAILURE(testing::ExpectDeletedFilesRecovered(
      engine, all, expected_files, sizes_, hashes_,
      {kSourceId, FsKind::kExFatQuick,
       platform::FiletimeFromCalendar(2024, 7, 15, 13, 45, 59, 500)},
      temp_ / "out" / "file"));
  EXPECT_EQ(uint32_t{all.at("Live dir").deleted}, 0u);
  EXPECT_EQ(uint32_t{all.at("Gone").deleted}, 1u);
  EXPECT_EQ(uint32_t{all.at("Gone/Sub").deleted}, 1u);
  EXPECT_FALSE(all.contains("Empty gone")) << "folders only where they lead to a file";

  // A whole folder, and the preview from memory.
  ASSERT_EQ(engine.RecoverFile(all.at("Gone"), temp_ / "tree" / "Gone", 0), 0);
  EXPECT_EQ(testing::Sha256OfFile(temp_ / "tree" / "Gone" / "Sub" / "deep file.bin"),
            hashes_.at("deep file.bin"));
  EXPECT_EQ(testing::Sha256OfFile(temp_ / "tree" / "Gone" / "a.bin"), hashes_.at("a.bin"));
  std::string preview_path;
  const auto written = testing::PatternBytes(10000, 2);
  EXPECT_EQ(testing::PreviewBytes(engine, all.at("contiguous.bin"), 1000, &preview_path),
            std::vector<uint8_t>(written.begin(), written.begin() + 1000));

  // Free space is what the allocation bitmap leaves free: the deleted
  // files' clusters are in it, the live ones are not.
  ASSERT_EQ(engine.BuildUsedClusterBitmap(), 0);
  const auto& g = engine.volume().geometry;
  auto is_free = [&](uint32_t cluster) {
    uint64_t sector = 0, length = 0;
    while (true) {
      EXPECT_EQ(engine.NextFreeRange(&sector, &length), 1);
      if (length == 0) return false;
      const uint64_t target = g.ClusterSector(cluster);
      if (target >= sector && target < sector + length) return true;
      if (sector > target) return false;
      sector += length;
    }
  };
  EXPECT_TRUE(is_free(contiguous.first_cluster()));
  EXPECT_TRUE(is_free(deep.first_cluster()));
  EXPECT_FALSE(is_free(live_dir.first_cluster()));
  EXPECT_FALSE(is_free(volume_.bitmap_cluster()));

  // The Sleuth Kit, run as an oracle, lists the same deleted files. It also
  // lists the empty deleted folder, which this engine leaves out, and not the
  // live folder that leads to a deleted file, which this engine shows.
  std::string fls;
  ASSERT_EQ(testing::RunCapture("fls -r -d -p " + testing::ShellQuote(image_.string()), &fls), 0);
  std::istringstream lines(fls);
  std::set<std::string> fls_files, fls_folders, our_files, our_deleted_folders;
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    (line.starts_with("d/d") ? fls_folders : fls_files).insert(line.substr(tab + 1));
  }
  for (const auto& [path, record] : all) {
    if (!record.is_folder) our_files.insert(path);
    if (record.is_folder && record.deleted) our_deleted_folders.insert(path);
  }
  EXPECT_EQ(our_files, fls_files) << fls;
  our_deleted_folders.insert("Empty gone");
  EXPECT_EQ(our_deleted_folders, fls_folders) << fls;
}

TEST_F(ExFatVolumeTest, DamagedEntriesAreSkipped) {
  const uint32_t root = volume_.root();
  struct Damage {
    const char* what;
    std::function<void(testing::ExFatImage&, const ExFatItem&)> apply;
  };
  const Damage damages[] = {
      {"absurd secondary count",
       [](auto& v, const ExFatItem& item) { v.bytes()[item.set_offset + 1] = 0xFF; }},
      {"name longer than its set",
       [](auto& v, const ExFatItem& item) { v.bytes()[item.set_offset + 32 + 3] = 200; }},
      {"first cluster beyond the heap",
       [](auto& v, const ExFatItem& item) { v.bytes()[item.set_offset + 32 + 23] = 0x0F; }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    testing::TempDir temp;
    testing::ExFatImage volume;
    ASSERT_EQ(volume.Format(temp / "card.img", 16, 4096), "");
    const auto bad = volume.AddFile(root, u"bad.bin", testing::PatternBytes(5000, 1),
                                    ExFatLayout::kContiguous, kStamp);
    const auto good = volume.AddFile(root, u"good.bin", testing::PatternBytes(5000, 2),
                                     ExFatLayout::kChained, kStamp);
    volume.Delete(bad);
    volume.Delete(good);
    damage.apply(volume, bad);
    ASSERT_EQ(volume.Save(), "");
    CFastExFatRecovery engine(history_);
    ASSERT_EQ(engine.OpenImage(temp / "card.img", kSourceId), 0);
    ASSERT_EQ(engine.Scan(nullptr), 0);
    const auto all = testing::ListAllRecords(engine);
    EXPECT_FALSE(all.contains("bad.bin"));
    EXPECT_TRUE(all.contains("good.bin"));
  }
}

TEST_F(ExFatVolumeTest, CyclicChainsAndShortBitmapsEnd) {
  const uint32_t root = volume_.root();
  const auto folder = volume_.AddFolder(root, u"Loop", kStamp);
  const auto file = Add(folder.first_cluster(), u"f.bin", 30000, ExFatLayout::kFragmented);
  volume_.Delete(file);
  auto put32 = [&](uint64_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) volume_.bytes()[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  // The root's chain and the deleted file's chain both come back on
  // themselves; the root's bitmap entry covers a single byte.
  put32(volume_.FatOffset(root), root);
  put32(volume_.FatOffset(file.clusters[2]), file.clusters[0]);
  for (uint64_t at = volume_.ClusterOffset(root); volume_.bytes()[at] != 0; at += 32) {
    if (volume_.bytes()[at] == 0x81) {
      put32(at + 24, 1);
      put32(at + 28, 0);
    }
  }
  ASSERT_EQ(volume_.Save(), "");

  CFastExFatRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(image_, kSourceId), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  const auto all = testing::ListAllRecords(engine);
  ASSERT_EQ(all.size(), 2u);  // Loop and Loop/f.bin, each once
  ASSERT_EQ(engine.RecoverFile(all.at("Loop/f.bin"), temp_ / "f.bin", 0), 0);
  EXPECT_EQ(std::filesystem::file_size(temp_ / "f.bin"), 30000u);

  ASSERT_EQ(engine.BuildUsedClusterBitmap(), 0);
  const auto& g = engine.volume().geometry;
  uint64_t sector = 0, length = 0;
  for (int guard = 0; guard < 100; ++guard) {
    ASSERT_EQ(engine.NextFreeRange(&sector, &length), 1);
    if (length == 0) break;
    // Only the 8 clusters the bitmap covers, and what lies behind the heap.
    EXPECT_TRUE(sector < g.ClusterSector(10) || sector >= g.ClusterSector(2 + g.cluster_count));
    sector += length;
  }
}

}  // namespace
}  // namespace vexlo
