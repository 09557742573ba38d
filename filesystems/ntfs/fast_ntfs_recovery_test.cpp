// The quick NTFS engine on real volumes made by mkntfs and ntfs-3g, with
// files deleted the way NTFS deletes them, checked against what was written
// and against The Sleuth Kit's fls where it is installed.
#include "filesystems/ntfs/fast_ntfs_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "carving/test_samples.h"
#include "engine/scan_history.h"
#include "filesystems/ntfs/mft_record.h"
#include "tests/support/fat_image.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const std::string kLongName =
    "A rather long file name, with spaces and accents: caf\xC3\xA9 na\xC3\xAFve "
    "r\xC3\xA9sum\xC3\xA9.txt";

// One volume for the whole suite: building it runs the ntfs-3g tools a few
// dozen times.
struct Volume {
  std::unique_ptr<TempDir> dir;
  fs::path image;
  bool folders = false;                                 // an ntfs-3g mount was possible
  std::map<std::string, std::vector<uint8_t>> deleted;  // full path -> bytes
  std::map<std::string, int64_t> records;
  int64_t reused_folder = -1;  // record of a folder later reused for a file
  std::string error;
};

Volume* BuildVolume() {
  auto* v = new Volume;
  v->dir = std::make_unique<TempDir>();
  v->image = *v->dir / "vol.img";
  if ((v->error = testing::MakeNtfsImage(v->image, 48 << 20)).size()) return v;
  v->folders =
      testing::NtfsMakeFolders(v->image, {"/Docs", "/Gone", "/Gone/Deeper", "/Reuse"}).empty();

  auto add = [&](const std::string& path, const std::vector<uint8_t>& bytes, bool remove) {
    if (!v->error.empty()) return;
    v->error = testing::NtfsWriteFile(v->image, path, bytes);
    v->records[path] = testing::NtfsRecordOf(v->image, path);
    if (remove) v->deleted[path.substr(1)] = bytes;
  };
  const std::string text = "a small resident file\n";
  add("/tiny.txt", {text.begin(), text.end()}, true);
  add("/keep.txt", {text.begin(), text.end()}, false);
  add("/big.bin", testing::PatternBytes(300'000, 1), true);
  add("/empty.dat", {}, true);
  add("/photo.jpg", testing::JpegBytes(20'000, 7), true);
  add("/fake.jpg", testing::PatternBytes(20'000, 3), true);
  add("/" + kLongName, testing::PatternBytes(5'000, 4), true);
  if (v->folders) {
    add("/Docs/report.doc", testing::PatternBytes(10'000, 5), true);
    add("/Docs/live.txt", {text.begin(), text.end()}, false);
    add("/Gone/Deeper/inner.bin", testing::PatternBytes(70'000, 6), true);
    add("/Reuse/orphan.bin", testing::PatternBytes(9'000, 8), true);
  }
  // One run per cluster: the run list fills well over half of the record.
  add("/frag.bin", testing::PatternBytes(120 * 4096 - 100, 9), true);
  if (v->error.empty()) v->error = testing::NtfsScatterFile(v->image, v->records["/frag.bin"]);
  if (!v->error.empty()) return v;

  for (const auto& [path, bytes] : v->deleted) {
    const auto result = testing::DeleteNtfsRecord(v->image, v->records["/" + path]);
    if (!result.error.empty()) v->error = result.error;
  }
  if (v->folders) {
    // ntfs-3g hands out the lowest free record: the folder's, which lies
    // below those of the deleted files.
    v->reused_folder = testing::NtfsRecordOf(v->image, "/Reuse");
    (void)testing::DeleteNtfsRecord(v->image, v->reused_folder);
    add("/newcomer.txt", {text.begin(), text.end()}, false);
    if (v->records["/newcomer.txt"] != v->reused_folder) v->reused_folder = -1;
    for (const char* folder : {"/Gone/Deeper", "/Gone"}) {
      (void)testing::DeleteNtfsRecord(v->image, testing::NtfsRecordOf(v->image, folder));
    }
  }
  return v;
}

class FastNtfsRecoveryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (testing::NtfsToolsAvailable()) volume_ = BuildVolume();
  }
  static void TearDownTestSuite() {
    delete volume_;
    volume_ = nullptr;
  }
  void SetUp() override {
    if (volume_ == nullptr) GTEST_SKIP() << "mkntfs/ntfscp not installed";
    ASSERT_EQ(volume_->error, "");
    ASSERT_EQ(engine_.OpenImage(volume_->image, 0x8001), 0);
    ASSERT_EQ(engine_.Scan(nullptr), 0);
  }

  // Every record of the store by full path ("Docs/report.doc").
  std::map<std::string, FoundFileRecord> FilesByPath() {
    // A path listed under both filters keeps the record of the known types.
    auto by_path = testing::FilesByPath(engine_, "*.txt|*.bin|*.jpg|*.doc|*.dat");
    by_path.merge(testing::FilesByPath(engine_, "*.other"));
    return by_path;
  }

  static Volume* volume_;
  TempDir out_;
  ScanHistory history_{out_ / "ScanLog"};
  CFastNtfsRecovery engine_{history_};
};

Volume* FastNtfsRecoveryTest::volume_ = nullptr;

TEST_F(FastNtfsRecoveryTest, ListsExactlyTheDeletedFilesWithTheirBytes) {
  auto files = FilesByPath();
  // fake.jpg fails the picture test and is hidden from searches.
  auto expected = volume_->deleted;
  expected.erase("fake.jpg");
  for (const auto& [path, bytes] : expected) {
    SCOPED_TRACE(path);
    if (path.starts_with("Reuse/") && volume_->reused_folder >= 0) continue;  // under LostFolder
    auto found = files.find(path);
    ASSERT_NE(found, files.end());
    const FoundFileRecord& record = found->second;
    EXPECT_EQ(+record.size, bytes.size());
    EXPECT_EQ(+record.is_folder, 0u);
    EXPECT_EQ(+record.deleted, 1u);
    EXPECT_EQ(+record.fs_kind, 0u);
    EXPECT_EQ(+record.source_id, 0x8001);
    EXPECT_EQ(+record.key, volume_->records["/" + path]);
    EXPECT_NE(+record.modified, 0u);
    EXPECT_GE(+record.modified, +record.created);

    const fs::path target = out_ / "out.bin";
    fs::remove(target);
    ASSERT_EQ(engine_.RecoverFile(record, target, 0), 0);
    EXPECT_TRUE(ReadFile(target) == bytes) << "recovered bytes differ";
  }
  for (const char* live : {"keep.txt", "Docs/live.txt", "newcomer.txt"}) {
    EXPECT_EQ(files.count(live), 0u) << live;
  }
  for (const auto& [path, record] : files) {
    EXPECT_GE(+record.key, ntfs::kFirstUserRecord) << path;
  }
}

TEST_F(FastNtfsRecoveryTest, ContentTestMarksPicturesThatAreNot) {
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine_.ListFolder(nullptr, 0, &root), 0);
  uint32_t count = 0;
  ASSERT_EQ(engine_.CountFiles(nullptr, 0, &count), 0);
  // The damaged picture is hidden from the listing but still counted.
  std::size_t files_listed = 0;
  std::function<void(const FoundFileRecord*, uint32_t)> walk = [&](const FoundFileRecord* folder,
                                                                   uint32_t level) {
    std::vector<FoundFileRecord> list;
    ASSERT_EQ(engine_.ListFolder(folder, level, &list), 0);
    for (const auto& r : list) {
      if (r.is_folder) {
        walk(&r, level + 1);
      } else {
        ++files_listed;
        EXPECT_NE(r.Name(), "fake.jpg");
        if (r.Name() == "photo.jpg") {
          EXPECT_EQ(+r.content_check, 1u);
        }
      }
    }
  };
  walk(nullptr, 0);
  EXPECT_EQ(count, volume_->deleted.size());
  EXPECT_EQ(files_listed + 1, volume_->deleted.size());
}

TEST_F(FastNtfsRecoveryTest, FoldersOfDeletedFilesAndLostFolders) {
  if (!volume_->folders) GTEST_SKIP() << "no ntfs-3g mount to create folders";
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine_.ListFolder(nullptr, 0, &root), 0);
  std::map<std::string, FoundFileRecord> folders;
  for (const auto& r : root) {
    if (r.is_folder) folders[std::string(r.Name())] = r;
  }
  ASSERT_EQ(folders.count("Docs"), 1u);
  EXPECT_EQ(+folders["Docs"].deleted, 0u);
  ASSERT_EQ(folders.count("Gone"), 1u);
  EXPECT_EQ(+folders["Gone"].deleted, 1u);
  std::vector<FoundFileRecord> gone;
  ASSERT_EQ(engine_.ListFolder(&folders["Gone"], 1, &gone), 0);
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].Name(), "Deeper");
  EXPECT_EQ(engine_.ListFolder(nullptr, 3, &gone), err::kInvalidParameter);

  if (volume_->reused_folder < 0) GTEST_SKIP() << "ntfs-3g did not reuse the folder's record";
  const std::string lost = "LostFolder" + std::to_string(volume_->reused_folder);
  ASSERT_EQ(folders.count(lost), 1u);
  EXPECT_EQ(+folders[lost].cluster_bytes, -1);
  std::vector<FoundFileRecord> inside;
  ASSERT_EQ(engine_.ListFolder(&folders[lost], 1, &inside), 0);
  ASSERT_EQ(inside.size(), 1u);
  EXPECT_EQ(inside[0].Name(), "orphan.bin");

  // A folder copied out brings its files along.
  ASSERT_EQ(engine_.RecoverFile(folders["Gone"], out_ / "Gone", 0), 0);
  EXPECT_TRUE(ReadFile(out_ / "Gone" / "Deeper" / "inner.bin") ==
              volume_->deleted["Gone/Deeper/inner.bin"]);
}

TEST_F(FastNtfsRecoveryTest, AgreesWithFls) {
  FILE* pipe = popen(("fls -r -d -p " + volume_->image.string() + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) GTEST_SKIP() << "no fls";
  std::string text;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  if (pclose(pipe) != 0 || text.empty()) GTEST_SKIP() << "fls not usable";

  // Deleted regular files by record number, as fls names them.
  std::map<uint32_t, std::string> fls_files;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("r/r *") && !line.starts_with("-/r *")) continue;
    const auto tab = line.find('\t');
    const uint32_t record = static_cast<uint32_t>(std::stoul(line.substr(6)));
    // The unnamed stream comes first; named ones follow as "name:stream".
    fls_files.emplace(record, line.substr(tab + 1));
  }
  for (const auto& [path, record] : FilesByPath()) {
    SCOPED_TRACE(path);
    auto found = fls_files.find(+record.key);
    ASSERT_NE(found, fls_files.end());
    // fls puts files of vanished folders under $OrphanFiles; we keep the
    // folder (or its LostFolder stand-in).
    if (!found->second.starts_with("$OrphanFiles/") &&
        path.find("LostFolder") == std::string::npos) {
      EXPECT_EQ(found->second, path);
    }
  }
}

TEST_F(FastNtfsRecoveryTest, FreeRangesFollowTheBitmap) {
  uint64_t sector = 0, length = 0;
  EXPECT_EQ(engine_.NextFreeRange(&sector, &length), 0);  // no bitmap yet
  ASSERT_EQ(engine_.BuildUsedClusterBitmap(), 0);
  // A marked stretch in the middle of the free space splits it exactly there.
  testing::TempDir dir;
  const fs::path copy = dir / "reserved.img";
  fs::copy_file(volume_->image, copy);
  ASSERT_EQ(testing::NtfsReserveClusters(copy, 9000, 10), "");
  CFastNtfsRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(copy, 2), 0);
  ASSERT_EQ(engine.BuildUsedClusterBitmap(), 0);
  std::vector<std::pair<uint64_t, uint64_t>> before, after;
  for (auto [e, list] : {std::pair{&engine_, &before}, std::pair{&engine, &after}}) {
    for (sector = 0;; sector += length) {
      ASSERT_EQ(e->NextFreeRange(&sector, &length), 1);
      if (length == 0) break;
      EXPECT_EQ(sector % 8, 0u);
      list->emplace_back(sector, length);
      ASSERT_LT(list->size(), 100000u);
    }
  }
  const uint64_t total_sectors = (48u << 20) / 512;
  EXPECT_EQ(sector, total_sectors);
  auto covering = [](const auto& list, uint64_t s) {
    return std::find_if(list.begin(), list.end(),
                        [&](auto r) { return r.first <= s && s < r.first + r.second; });
  };
  auto range = covering(before, 9000 * 8);
  ASSERT_NE(range, before.end());
  EXPECT_NE(covering(after, range->first), after.end());
  EXPECT_EQ(covering(after, 9000 * 8), after.end());
  EXPECT_EQ(covering(after, 9009 * 8), after.end());
  ASSERT_NE(covering(after, 9010 * 8), after.end());
  EXPECT_EQ(covering(after, 9010 * 8)->first, 9010u * 8);
}

// Pictures are previewed from a file, other types from memory; resident
// and non-resident data read alike.
TEST_F(FastNtfsRecoveryTest, PreviewsReadResidentAndNonResidentData) {
  auto files = FilesByPath();
  struct Case {
    std::string name;
    uint32_t capacity;
    bool to_file;
  };
  const Case cases[] = {
      {"tiny.txt", 8, false},
      {"big.bin", 100'000, false},
      {"frag.bin", 200'000, false},
      {"photo.jpg", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(files.count(c.name), 1u);
    const std::vector<uint8_t>& bytes = volume_->deleted[c.name];
    std::vector<uint8_t> buffer(c.capacity);
    uint32_t count = c.capacity;
    std::string path;
    ASSERT_EQ(
        engine_.ExtractForPreview(files[c.name], &path, buffer.data(), &count, nullptr, nullptr),
        0);
    if (c.to_file) {
      EXPECT_EQ(count, 0u);
      ASSERT_FALSE(path.empty());
      EXPECT_TRUE(ReadFile(path) == bytes);
    } else {
      EXPECT_TRUE(path.empty());
      ASSERT_EQ(count, c.capacity);
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin()));
    }
  }
}

TEST_F(FastNtfsRecoveryTest, CancelStopsTheScanAndKeepsResults) {
  CFastNtfsRecovery engine(history_);
  ASSERT_EQ(engine.OpenImage(volume_->image, 1), 0);
  auto cancel = [](void*, int32_t, int32_t, int32_t, uint64_t, uint64_t, uint64_t,
                   int32_t) -> int32_t { return kCancelCode; };
  ASSERT_EQ(engine.SetProgressCallbacks(cancel, nullptr, nullptr, 100), 0);
  EXPECT_EQ(engine.Scan(nullptr), kCancelCode);
  std::vector<FoundFileRecord> root;
  EXPECT_EQ(engine.ListFolder(nullptr, 0, &root), 0);
}

// A rescan, or a second image (images start at sector 0), within the same
// minute and scan folder must neither add to nor take over the records of
// the scan before it.
TEST_F(FastNtfsRecoveryTest, ScansWithinOneMinuteKeepStoresOfTheirOwn) {
  const uint64_t first_count = engine_.GetRecordCount();
  ASSERT_GT(first_count, 0u);
  CFastNtfsRecovery second(history_);
  ASSERT_EQ(second.OpenImage(volume_->image, 0x8002), 0);
  ASSERT_EQ(second.Scan(nullptr), 0);
  EXPECT_EQ(second.GetRecordCount(), first_count);
  ASSERT_EQ(engine_.Scan(nullptr), 0);
  EXPECT_EQ(engine_.GetRecordCount(), first_count);
  int stores = 0;
  for (const auto& entry : fs::directory_iterator(history_.CurrentFolder())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(kFastLogPrefix) && !name.ends_with(kRelationSuffix) &&
        !name.ends_with(kDirInfoSuffix)) {
      ++stores;
    }
  }
  EXPECT_EQ(stores, 3);
}

// Deleted photos whose clusters were partly overwritten or cut carry the
// damaged mark in listings and searches alike; whole ones do not.
TEST(FastNtfsRecovery, DeletedPhotosThatDoNotDecodeWholeAreMarkedDamaged) {
  if (!testing::NtfsToolsAvailable()) GTEST_SKIP() << "mkntfs/ntfscp not installed";
  TempDir dir;
  const auto photos = carving::samples::WholeAndDamagedPhotos(dir.path());
  if (photos.empty()) GTEST_SKIP() << "ImageMagick not available";
  const fs::path image = dir / "photos.img";
  ASSERT_EQ(testing::MakeNtfsImage(image, 16 << 20), "");
  std::map<std::string, uint32_t> expected;
  for (const auto& photo : photos) {
    ASSERT_EQ(testing::NtfsWriteFile(image, "/" + photo.name, photo.bytes), "");
    expected[photo.name] = photo.whole ? 1 : 0;
  }
  for (const auto& photo : photos) {
    ASSERT_EQ(testing::DeleteNtfsFile(image, "/" + photo.name), "");
  }

  ScanHistory history(dir / "ScanLog");
  CFastNtfsRecovery engine(history);
  ASSERT_EQ(engine.OpenImage(image, 0x8004), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  const testing::ContentChecks checks = testing::ContentChecksByName(engine, "*.jpg|*.png");
  EXPECT_EQ(checks.listed, expected);
  EXPECT_EQ(checks.found, expected) << "a search marks what a listing marks";
}

// The search callback may be set before the scan that creates the store.
TEST_F(FastNtfsRecoveryTest, SearchCallbackSetBeforeTheScanHearsTheSearch) {
  CFastNtfsRecovery engine(history_);
  int calls = 0;
  auto count_calls = [](void* user, int32_t, int32_t) -> int32_t {
    ++*static_cast<int*>(user);
    return 0;
  };
  EXPECT_EQ(engine.SetSearchCallback(count_calls, &calls), err::kInvalidParameter);
  ASSERT_EQ(engine.OpenImage(volume_->image, 0x8003), 0);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  std::vector<FoundFileRecord> found;
  ASSERT_EQ(engine.FindFiles("*.other", &found), 0);
  EXPECT_GT(calls, 0);
}

}  // namespace
}  // namespace vexlo
