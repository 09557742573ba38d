// What every store-backed engine answers alike, through a small engine whose
// "scan" files a fixed set of records over an in-memory medium: the query
// slots, where its stores go, the search callback, and the copy-out and
// preview of files, folders and records that cannot be read.
#include "engine/store_backed_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/contiguous_read.h"
#include "platform/file.h"
#include "platform/sector_source.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_scan_history.h"

namespace vexlo {
namespace {

constexpr uint32_t kSector = 512;
constexpr uint64_t kMediumSectors = 64;
constexpr uint32_t kRootKey = 2;
constexpr uint32_t kFolderKey = 9;
constexpr uint64_t kUnreadableSector = 60;

// root (key 2) holds a.jpg and folder DCIM (key 9), which holds b.txt and
// lost.bin, whose data the engine cannot read.
class ScriptedEngine final : public StoreBackedEngine {
 public:
  explicit ScriptedEngine(ScanHistory& history, RecordLayout layout = RecordLayout::kFolderTree,
                          ContentJudge judge = nullptr)
      : StoreBackedEngine(history, "Test_", layout, {}, judge) {}

  ErrorCode Scan(const std::string* earlier_record_file) override {
    if (earlier_record_file != nullptr) return OpenStore(earlier_record_file);
    if (ErrorCode rc = OpenStore(nullptr); !rc.ok()) return rc;
    Add("a.jpg", false, 0, 4, 1500, MakeFolderKey(kRootKey, 0));
    Add("DCIM", true, kFolderKey, 0, 0, MakeFolderKey(kRootKey, 0));
    Add("b.txt", false, 0, 10, 700, MakeFolderKey(kFolderKey, 1));
    Add("lost.bin", false, 0, kUnreadableSector, 100, MakeFolderKey(kFolderKey, 1));
    return store()->Flush();
  }

 private:
  void Add(const char* name, bool folder, uint32_t key, uint64_t sector, uint64_t size,
           FolderKey parent) {
    FoundFileRecord* slot = nullptr;
    ASSERT_EQ(store()->NewRecord(&slot), 0);
    slot->SetName(name);
    slot->is_folder = folder ? 1 : 0;
    slot->content_check = 1;
    slot->key = key;
    slot->entry_sector = sector;
    slot->size = size;
    const RecordNumber number = slot->record_number;
    ASSERT_EQ(store()->Relate(parent, number, key,
                              folder ? std::optional<std::string_view>(name) : std::nullopt),
              0);
  }

  uint32_t RootKey() const override { return kRootKey; }
  ErrorCode CheckRecordData(const FoundFileRecord& record) override {
    if (record.entry_sector == kUnreadableSector) return err::kReadFault;
    return StoreBackedEngine::CheckRecordData(record);
  }
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override {
    return ReadContiguous(disk(), {record.entry_sector, record.size, kSector}, max_bytes, sink);
  }
};

std::vector<uint8_t> Medium() { return testing::PatternBytes(kMediumSectors * kSector, 7); }

void OpenOnMedium(StoreBackedEngine& engine) {
  DiskHandle disk;
  ASSERT_EQ(OpenDiskFromSource(std::make_unique<platform::MemorySectorSource>(Medium()), &disk), 0);
  ASSERT_EQ(engine.OpenOnDisk(std::move(disk), 0, kMediumSectors, 3), 0);
}

std::map<std::string, FoundFileRecord> ByName(const std::vector<FoundFileRecord>& records) {
  std::map<std::string, FoundFileRecord> by_name;
  for (const FoundFileRecord& record : records) by_name[std::string(record.Name())] = record;
  return by_name;
}

// The record files (companions left out) in a scan folder.
std::set<std::string> RecordFiles(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(kRelationSuffix) && !name.ends_with(kDirInfoSuffix)) names.insert(name);
  }
  return names;
}

struct Heard {
  std::vector<std::pair<int32_t, int32_t>> reports;  // percent, code
};

int32_t OnRecovery(void* user, int32_t percent, int32_t, int32_t code, const char*, uint64_t) {
  static_cast<Heard*>(user)->reports.emplace_back(percent, code);
  return 0;
}

int32_t OnPreview(void* user, int32_t percent, int32_t code) {
  static_cast<Heard*>(user)->reports.emplace_back(percent, code);
  return 0;
}

class StoreBackedEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenOnMedium(engine_);
    ASSERT_EQ(engine_.Scan(nullptr), 0);
    std::vector<FoundFileRecord> root;
    ASSERT_EQ(engine_.ListFolder(nullptr, 0, &root), 0);
    std::vector<FoundFileRecord> dcim;
    ASSERT_EQ(engine_.ListFolder(&root.back(), 1, &dcim), 0);
    root.insert(root.end(), dcim.begin(), dcim.end());
    records_ = ByName(root);
  }

  std::vector<uint8_t> MediumBytes(uint64_t sector, uint64_t size) {
    const std::vector<uint8_t> medium = Medium();
    return {medium.begin() + sector * kSector, medium.begin() + sector * kSector + size};
  }

  testing::TempScanHistory scan_log_;
  testing::TempDir out_;
  ScriptedEngine engine_{scan_log_.history};
  std::map<std::string, FoundFileRecord> records_;
};

TEST_F(StoreBackedEngineTest, QueriesAnswerFromTheStore) {
  ASSERT_EQ(records_.size(), 4u);
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine_.ListFolder(nullptr, 0, &root), 0);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0].Name(), "a.jpg");  // files before folders
  EXPECT_EQ(root[1].Name(), "DCIM");

  std::string path;
  ASSERT_EQ(engine_.GetFullPath(records_.at("b.txt"), &path), 0);
  EXPECT_EQ(path, "DCIM/");
  uint32_t count = 0;
  ASSERT_EQ(engine_.CountFiles(nullptr, 0, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(engine_.GetRecordCount(), 4u);
  std::vector<FoundFileRecord> found;
  ASSERT_EQ(engine_.FindFiles("*.txt", &found), 0);
  ASSERT_EQ(found.size(), 1u);
}

// A tree refuses a root query with a level; a flat store lists nothing for
// a folder or a level, since nothing lies below its root.
TEST(StoreBackedEngineLayoutTest, FolderAndLevelQueriesFollowTheLayout) {
  struct Case {
    RecordLayout layout;
    int32_t root_with_level;
    std::size_t below_folder;
  };
  const Case cases[] = {{RecordLayout::kFolderTree, err::kInvalidParameter, 2},
                        {RecordLayout::kFlat, err::kSuccess, 0}};
  for (const Case& c : cases) {
    testing::TempScanHistory scan_log;
    ScriptedEngine engine(scan_log.history, c.layout);
    OpenOnMedium(engine);
    ASSERT_EQ(engine.Scan(nullptr), 0);
    FoundFileRecord folder = EmptyRecord();
    folder.is_folder = 1;
    folder.key = kFolderKey;
    std::vector<FoundFileRecord> out(1, EmptyRecord());
    EXPECT_EQ(engine.ListFolder(nullptr, 3, &out), c.root_with_level);
    EXPECT_EQ(out.size(), 1u) << "a refused or empty query leaves the output alone";
    uint32_t count = 7;
    EXPECT_EQ(engine.CountFiles(nullptr, 1, &count), c.root_with_level);
    out.clear();
    EXPECT_EQ(engine.ListFolder(&folder, 1, &out), 0);
    EXPECT_EQ(out.size(), c.below_folder);
  }
}

TEST(StoreBackedEngineWithoutStoreTest, AnswersNothing) {
  testing::TempScanHistory scan_log;
  ScriptedEngine engine(scan_log.history);
  std::vector<FoundFileRecord> out;
  uint32_t count = 5;
  std::string path = "stale";
  EXPECT_EQ(engine.ListFolder(nullptr, 0, &out), 0);
  EXPECT_EQ(engine.CountFiles(nullptr, 0, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(engine.GetFullPath(EmptyRecord(), &path), 0);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(engine.GetRecordCount(), 0u);
  EXPECT_EQ(engine.SetSearchCallback(nullptr, nullptr), err::kInvalidParameter);
  EXPECT_EQ(engine.FindFiles("*.jpg", &out), 0);
  EXPECT_TRUE(out.empty());
}

// Two scans in one scan folder within a minute (a rescan, or two sources
// that both start at sector 0) must neither add to nor destroy each other's
// records.
TEST_F(StoreBackedEngineTest, EveryScanKeepsAStoreOfItsOwn) {
  const std::filesystem::path folder = scan_log_.history.CurrentFolder();
  ScriptedEngine second(scan_log_.history);
  OpenOnMedium(second);
  ASSERT_EQ(second.Scan(nullptr), 0);
  EXPECT_EQ(second.GetRecordCount(), 4u);
  ASSERT_EQ(engine_.Scan(nullptr), 0);
  EXPECT_EQ(engine_.GetRecordCount(), 4u);
  const std::set<std::string> stores = RecordFiles(folder);
  EXPECT_EQ(stores.size(), 3u);
  for (const std::string& name : stores) {
    SCOPED_TRACE(name);
    ScriptedEngine reader(scan_log_.history);
    ASSERT_EQ(reader.Scan(&name), 0);
    EXPECT_EQ(reader.GetRecordCount(), 4u);
  }
}

// A search callback set before the store exists is refused for now, but
// kept for the store a scan opens, new or continued.
TEST(StoreBackedEngineSearchTest, CallbackSetBeforeTheScanHearsTheSearch) {
  testing::TempScanHistory scan_log;
  int calls = 0;
  auto count_calls = [](void* user, int32_t, int32_t) -> int32_t {
    ++*static_cast<int*>(user);
    return 0;
  };
  std::string earlier;
  for (const bool continued : {false, true}) {
    SCOPED_TRACE(continued ? "continued scan" : "new scan");
    ScriptedEngine engine(scan_log.history);
    OpenOnMedium(engine);
    EXPECT_EQ(engine.SetSearchCallback(count_calls, &calls), err::kInvalidParameter);
    ASSERT_EQ(engine.Scan(continued ? &earlier : nullptr), 0);
    if (!continued) earlier = *RecordFiles(scan_log.history.CurrentFolder()).begin();
    calls = 0;
    std::vector<FoundFileRecord> found;
    ASSERT_EQ(engine.FindFiles("*.jpg", &found), 0);
    EXPECT_EQ(found.size(), 1u);
    EXPECT_GT(calls, 0);
  }
}

// A judge that calls every file damaged, counting the files it was asked about.
int judged_files = 0;
bool CountedDamaged(const FoundFileRecord&, const RecordDataReader&) {
  ++judged_files;
  return false;
}

// Judging the files a search found reads them whole, which takes long on a
// card: the search window must show it and be able to stop it. Files left
// unjudged are judged by the next search, and none twice.
TEST(StoreBackedEngineJudgingTest, ASearchReportsItsJudgingAndItsCallbackStopsIt) {
  testing::TempScanHistory scan_log;
  ScriptedEngine engine(scan_log.history, RecordLayout::kFolderTree, CountedDamaged);
  OpenOnMedium(engine);
  ASSERT_EQ(engine.Scan(nullptr), 0);
  judged_files = 0;

  // Stops at the second report of the judging: the search of the store ends
  // at 100, the judging starts again from 0.
  struct Heard {
    std::vector<int32_t> percents;
    bool judging = false;
  } heard;
  ASSERT_EQ(engine.SetSearchCallback(
                [](void* user, int32_t percent, int32_t) -> int32_t {
                  auto* h = static_cast<Heard*>(user);
                  h->percents.push_back(percent);
                  if (h->judging && percent > 0) return kCancelCode;
                  h->judging = h->judging || percent == 100;
                  return 0;
                },
                &heard),
            0);
  const auto marks = [](const std::vector<FoundFileRecord>& records) {
    std::map<std::string, uint32_t> by_name;
    for (const FoundFileRecord& r : records) by_name[std::string(r.Name())] = r.content_check;
    return by_name;
  };
  std::vector<FoundFileRecord> found;
  EXPECT_EQ(engine.FindFiles("*.jpg|*.txt|*.bin", &found), kCancelCode);
  ASSERT_EQ(found.size(), 3u) << "what was found stays";
  ASSERT_GE(heard.percents.size(), 3u);
  EXPECT_EQ(std::vector<int32_t>(heard.percents.end() - 3, heard.percents.end()),
            (std::vector<int32_t>{100, 0, 33}));
  EXPECT_EQ(judged_files, 1);
  const std::map<std::string, uint32_t> after_stop = marks(found);
  EXPECT_EQ(std::count_if(after_stop.begin(), after_stop.end(),
                          [](const auto& entry) { return entry.second == 0; }),
            1);

  ASSERT_EQ(engine.SetSearchCallback(nullptr, nullptr), 0);
  found.clear();
  ASSERT_EQ(engine.FindFiles("*.jpg|*.txt|*.bin", &found), 0);
  EXPECT_EQ(judged_files, 3);
  EXPECT_EQ(marks(found),
            (std::map<std::string, uint32_t>{{"a.jpg", 0}, {"b.txt", 0}, {"lost.bin", 0}}));

  // A listing judges nothing again, and reports no search.
  ASSERT_EQ(engine.SetSearchCallback(
                [](void*, int32_t, int32_t) -> int32_t {
                  ADD_FAILURE() << "a listing reports no search";
                  return 0;
                },
                nullptr),
            0);
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine.ListFolder(nullptr, 0, &root), 0);
  EXPECT_EQ(judged_files, 3);
  EXPECT_EQ(marks(root)["a.jpg"], 0u);
}

TEST_F(StoreBackedEngineTest, FilesAreWrittenOrRefusedBeforeAnythingIsCreated) {
  struct Case {
    std::string name;
    int32_t expected;
  };
  const Case cases[] = {{"a.jpg", 0}, {"b.txt", 0}, {"lost.bin", err::kReadFault}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Heard heard;
    ASSERT_EQ(engine_.SetProgressCallbacks(nullptr, OnRecovery, &heard, 100), 0);
    const FoundFileRecord& record = records_.at(c.name);
    const std::filesystem::path target = out_ / c.name;
    EXPECT_EQ(engine_.RecoverFile(record, target, 0), c.expected);
    ASSERT_FALSE(heard.reports.empty());
    EXPECT_EQ(heard.reports.back(), std::pair(100, c.expected));
    if (c.expected == 0) {
      std::string text;
      ASSERT_EQ(platform::ReadWholeFile(target, &text), 0);
      EXPECT_EQ(std::vector<uint8_t>(text.begin(), text.end()),
                MediumBytes(record.entry_sector, record.size));
    } else {
      EXPECT_EQ(heard.reports.size(), 1u);
      EXPECT_FALSE(std::filesystem::exists(target));
    }
  }
}

TEST_F(StoreBackedEngineTest, FolderCopyGoesOnPastAFileThatCannotBeRead) {
  Heard heard;
  ASSERT_EQ(engine_.SetProgressCallbacks(nullptr, OnRecovery, &heard, 100), 0);
  EXPECT_EQ(engine_.RecoverFile(records_.at("DCIM"), out_ / "DCIM", 0), 0);
  EXPECT_EQ(std::filesystem::file_size(out_ / "DCIM" / "b.txt"), 700u);
  EXPECT_FALSE(std::filesystem::exists(out_ / "DCIM" / "lost.bin"));
  EXPECT_EQ(std::count(heard.reports.begin(), heard.reports.end(), std::pair(100, 0)), 1);
  EXPECT_EQ(std::count(heard.reports.begin(), heard.reports.end(),
                       std::pair(100, int32_t{err::kReadFault})),
            1);
}

TEST(StoreBackedEngineClosedTest, ClosedEngineWritesNothing) {
  testing::TempScanHistory scan_log;
  testing::TempDir out;
  ScriptedEngine engine(scan_log.history);
  FoundFileRecord file = EmptyRecord();
  file.SetName("a.jpg");
  file.size = 10;
  FoundFileRecord folder = EmptyRecord();
  folder.SetName("DCIM");
  folder.is_folder = 1;
  Heard heard;
  ASSERT_EQ(engine.SetProgressCallbacks(nullptr, OnRecovery, &heard, 100), 0);
  EXPECT_EQ(engine.RecoverFile(file, out / "a.jpg", 0), err::kInvalidParameter);
  EXPECT_EQ(engine.RecoverFile(folder, out / "DCIM", 0), err::kInvalidParameter);
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_EQ(heard.reports, (std::vector<std::pair<int32_t, int32_t>>{{100, 87}}));
}

TEST_F(StoreBackedEngineTest, PreviewsGoToTheScanLogRootOrMemory) {
  struct Case {
    std::string name;
    int32_t expected;
    bool to_file;
  };
  const Case cases[] = {{"a.jpg", 0, true},
                        {"b.txt", 0, false},
                        {"lost.bin", err::kReadFault, false},
                        {"DCIM", err::kInvalidParameter, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FoundFileRecord& record = records_.at(c.name);
    std::vector<uint8_t> buffer(4096);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    std::string path = "stale";
    Heard heard;
    EXPECT_EQ(engine_.ExtractForPreview(record, &path, buffer.data(), &count, OnPreview, &heard),
              c.expected);
    const std::vector<uint8_t> expected = MediumBytes(record.entry_sector, record.size);
    if (c.to_file) {
      EXPECT_EQ(path, (scan_log_.history.root() / "tmp.jpg").string());
      std::string text;
      ASSERT_EQ(platform::ReadWholeFile(path, &text), 0);
      EXPECT_EQ(std::vector<uint8_t>(text.begin(), text.end()), expected);
    } else {
      EXPECT_TRUE(path.empty());
    }
    if (c.expected == 0 && !c.to_file) {
      ASSERT_EQ(count, uint64_t{record.size});
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    } else {
      EXPECT_EQ(count, 0u);
    }
    if (c.expected != 0) {
      EXPECT_EQ(heard.reports, (std::vector<std::pair<int32_t, int32_t>>{{100, c.expected}}));
    }
  }
}

}  // namespace
}  // namespace vexlo
