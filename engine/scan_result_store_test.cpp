#include "engine/scan_result_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/log.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

constexpr FolderKey kRoot = MakeFolderKey(2, 0);

class ScanResultStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetLogSilenced(true);
    ASSERT_EQ(store_.Open(folder(), "Fast_0_2026439 5"), 0);
  }
  void TearDown() override { platform::SetLogSilenced(false); }

  std::filesystem::path folder() const { return dir_ / "ScanLog" / "7"; }
  std::filesystem::path file(const std::string& suffix = "") const {
    return folder() / ("Fast_0_2026439 5" + suffix);
  }
  std::string Contents(const std::string& suffix = "") const {
    std::string text;
    EXPECT_EQ(platform::ReadWholeFile(file(suffix), &text), 0);
    return text;
  }
  void Overwrite(const std::string& suffix, const std::string& bytes) const {
    std::ofstream(file(suffix), std::ios::binary | std::ios::trunc) << bytes;
  }

  RecordNumber Add(const std::string& name, uint32_t is_folder, uint32_t key,
                   uint32_t content_check = 1) {
    FoundFileRecord* slot = nullptr;
    EXPECT_EQ(store_.NewRecord(&slot), 0);
    if (slot == nullptr) return 0;
    slot->is_folder = is_folder;
    slot->key = key;
    slot->content_check = content_check;
    slot->SetName(name);
    return slot->record_number;
  }
  RecordNumber AddFile(FolderKey parent, const std::string& name, uint32_t content_check = 1) {
    const RecordNumber number = Add(name, 0, 0, content_check);
    EXPECT_EQ(store_.Relate(parent, number, 0, std::nullopt), 0);
    return number;
  }
  RecordNumber AddFolder(FolderKey parent, uint32_t key, const std::string& name,
                         bool with_info = true) {
    const RecordNumber number = Add(name, 1, key);
    EXPECT_EQ(store_.Relate(parent, number, key,
                            with_info ? std::optional<std::string_view>(name) : std::nullopt),
              0);
    return number;
  }

  static std::vector<std::string> NamesOf(const std::vector<FoundFileRecord>& records) {
    std::vector<std::string> names;
    for (const FoundFileRecord& record : records) names.emplace_back(record.Name());
    return names;
  }
  std::vector<std::string> List(FolderKey parent) {
    std::vector<FoundFileRecord> records;
    EXPECT_EQ(store_.ListFolder(parent, &records), 0);
    return NamesOf(records);
  }
  std::vector<std::string> Search(std::string_view pattern) {
    std::vector<FoundFileRecord> records;
    EXPECT_EQ(store_.SearchExtensions(pattern, &records), 0);
    return NamesOf(records);
  }
  uint64_t Count(FolderKey parent) {
    uint64_t count = 0;
    EXPECT_EQ(store_.CountFiles(parent, &count), 0);
    return count;
  }
  std::string PathOf(RecordNumber number) {
    FoundFileRecord record = EmptyRecord();
    record.record_number = number;
    std::string text;
    EXPECT_EQ(store_.PathText(record, &text), 0);
    return text;
  }

  testing::TempDir dir_;
  ScanResultStore store_;
};

using Names = std::vector<std::string>;

TEST_F(ScanResultStoreTest, AppendsTheBufferWhenTheNextRecordFindsItFull) {
  struct Step {
    int add;
    uint64_t file_records;
  };
  // Records in the file after each step; the 201st and 401st records push
  // the full buffer out before they get their slot.
  const Step steps[] = {{199, 0}, {1, 0}, {1, 200}, {199, 200}, {1, 400}};
  int added = 0;
  for (const Step& step : steps) {
    for (int i = 0; i < step.add; ++i) {
      ++added;
      EXPECT_EQ(AddFile(kRoot, "f" + std::to_string(added)), static_cast<RecordNumber>(added));
    }
    EXPECT_EQ(std::filesystem::file_size(file()), step.file_records * kFoundFileRecordBytes)
        << added;
  }
  EXPECT_EQ(store_.Count(), 401u);
  // Only an explicit flush rewrites the index, which grows with the scan.
  EXPECT_TRUE(Contents("_Relation").empty());
  ASSERT_EQ(store_.Flush(), 0);
  const std::string bytes = Contents();
  ASSERT_EQ(bytes.size(), 401 * kFoundFileRecordBytes);
  for (RecordNumber n : {1u, 200u, 201u, 401u}) {
    FoundFileRecord record;
    std::memcpy(&record, bytes.data() + (n - 1) * kFoundFileRecordBytes, sizeof(record));
    EXPECT_EQ(RecordNumber{record.record_number}, n);
    EXPECT_EQ(record.Name(), "f" + std::to_string(n));
  }
}

TEST_F(ScanResultStoreTest, WritesCompanionsByteForByte) {
  const RecordNumber a = AddFile(0, "a.jpg");
  const RecordNumber dcim = AddFolder(0, 2, "DCIM");
  AddFile(MakeFolderKey(2, 1), "b.jpg");
  AddFolder(MakeFolderKey(2, 1), 9, "100CANON");
  AddFile(0, "c.txt");
  ASSERT_EQ(store_.Flush(), 0);

  EXPECT_EQ(Contents("_Relation"), " | 0 - [1,2,5] | 4294967298 - [3,4]");
  const std::string info = Contents("_DirInfo");
  ASSERT_EQ(info.size(), 2 * kFolderInfoEntryBytes);
  std::string expected(kFolderInfoEntryBytes, '\0');
  expected[0] = 2;
  expected[4] = static_cast<char>(dcim);
  expected.replace(8, 4, "DCIM");
  EXPECT_EQ(info.substr(0, kFolderInfoEntryBytes), expected);
  EXPECT_EQ(info.substr(kFolderInfoEntryBytes + 8, 9), std::string("100CANON\0", 9));
  EXPECT_EQ(Contents().size(), 5 * kFoundFileRecordBytes);
  EXPECT_EQ(a, 1u);
}

TEST_F(ScanResultStoreTest, ReopenedStoreContinuesNumbering) {
  AddFile(kRoot, "one.jpg");
  AddFolder(kRoot, 5, "DCIM");
  AddFile(MakeFolderKey(5, 1), "two.jpg");
  ASSERT_EQ(store_.Close(), 0);
  // A crash while appending leaves a torn record behind.
  std::ofstream(file(), std::ios::binary | std::ios::app) << std::string(100, 'x');

  ScanResultStore reopened;
  ASSERT_EQ(reopened.Open(folder(), file().filename()), 0);
  EXPECT_EQ(reopened.Count(), 3u);
  EXPECT_EQ(reopened.relation_map(),
            (FolderRelationMap{{kRoot, {1, 2}}, {MakeFolderKey(5, 1), {3}}}));
  ASSERT_EQ(reopened.folder_infos().size(), 1u);
  EXPECT_EQ(reopened.folder_infos()[0].Name(), "DCIM");

  FoundFileRecord* slot = nullptr;
  ASSERT_EQ(reopened.NewRecord(&slot), 0);
  EXPECT_EQ(RecordNumber{slot->record_number}, 4u);
  slot->SetName("three.jpg");
  slot->content_check = 1;
  ASSERT_EQ(reopened.Relate(kRoot, 4, 0, std::nullopt), 0);
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(reopened.ListFolder(0, &root), 0);
  EXPECT_EQ(NamesOf(root), (Names{"one.jpg", "three.jpg", "DCIM"}));
  EXPECT_EQ(std::filesystem::file_size(file()), 4 * kFoundFileRecordBytes);
}

TEST_F(ScanResultStoreTest, ListsFilesFirstThenCaseInsensitiveByteOrder) {
  for (const char* name : {"b.txt", "A.txt", "_x", "a.TXT", "\xC3\xA9.txt"}) AddFile(kRoot, name);
  AddFolder(kRoot, 10, "Zeta");
  AddFolder(kRoot, 11, "alpha");
  // "_" lies between upper and lower case letters, so it shows which case
  // the names are folded to; equal names keep their order.
  EXPECT_EQ(List(kRoot), (Names{"_x", "A.txt", "a.TXT", "b.txt", "\xC3\xA9.txt", "alpha", "Zeta"}));
  EXPECT_EQ(List(0), List(kRoot));
  EXPECT_TRUE(List(MakeFolderKey(10, 1)).empty());
  EXPECT_TRUE(List(MakeFolderKey(99, 1)).empty());
}

TEST_F(ScanResultStoreTest, HidesDamagedPicturesButCountsThem) {
  AddFile(kRoot, "bad.jpg", 0);
  AddFile(kRoot, "bad.JPEG", 0);
  AddFile(kRoot, "bad.jp", 0);  // a part of "*.jpg" counts as a picture
  AddFile(kRoot, "good.jpg", 1);
  AddFile(kRoot, "notes.txt", 0);  // failed, but not a picture
  // Carved from an image with holes: found by its first sector, partly
  // unreadable, still offered.
  FoundFileRecord* carved = nullptr;
  ASSERT_EQ(store_.NewRecord(&carved), 0);
  carved->fs_kind = static_cast<uint32_t>(FsKind::kCarving);
  carved->content_check = 0;
  carved->SetName("holes.jpg");
  ASSERT_EQ(store_.Relate(kRoot, carved->record_number, 0, std::nullopt), 0);
  EXPECT_EQ(List(kRoot), (Names{"good.jpg", "holes.jpg", "notes.txt"}));
  EXPECT_EQ(Search("*.jpg|*.jpeg|*.txt"), (Names{"good.jpg", "holes.jpg", "notes.txt"}));
  EXPECT_EQ(Count(kRoot), 6u);
}

TEST_F(ScanResultStoreTest, SearchMatchesExtensionsAsSubstrings) {
  for (const char* name :
       {"a.jpg", "b.JPG", "c.jp", "d.dat", "noext", "e.", "f.mp3", "g.weird", "h.jpeg"}) {
    AddFile(kRoot, name);
  }
  AddFolder(kRoot, 4, "folder.dat");
  struct Case {
    const char* pattern;
    Names expected;
  };
  const Case cases[] = {
      {"*.jpg", {"a.jpg", "b.JPG", "c.jp"}},
      {"*.jpeg", {"c.jp", "h.jpeg"}},
      {"*.other", {"d.dat", "e.", "g.weird", "noext"}},
      {"*.mp3|*.other", {"d.dat", "e.", "f.mp3", "g.weird", "noext"}},
      {"*.png", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Search(c.pattern), c.expected) << c.pattern;
}

// The running count must be the number the search lists at every moment of
// a scan: records still buffered, appended, measured again in either place,
// and those an earlier run of the scan left in the file; of them only those
// a choice by the records' own fields keeps, when one is given.
TEST_F(ScanResultStoreTest, ListedCountFollowsWhatTheSearchLists) {
  const char* const kPatterns[] = {"*.jpg|*.txt", "*.other", "*.mp3|*.other", "*.png", ""};
  const char* const kNames[] = {"a.jpg", "b.TXT", "c.mp3", "d.weird", "noext", "e.jpg"};
  RecordFilter larger;
  larger.min_size = 20000;
  RecordFilter deleted_jpegs;
  deleted_jpegs.deleted_only = true;
  deleted_jpegs.name_patterns = {"*.jpg", "z*"};
  const RecordFilter kChoices[] = {{}, larger, deleted_jpegs};
  for (const char* pattern : kPatterns) {
    for (std::size_t choice = 0; choice < std::size(kChoices); ++choice) {
      const RecordFilter& chosen = kChoices[choice];
      SCOPED_TRACE(choice);
      const std::filesystem::path folder = dir_ / (pattern + std::to_string(choice));
      ScanResultStore store;
      ASSERT_EQ(store.Open(folder, "Carve"), 0);
      ASSERT_EQ(store.CountListed(pattern, chosen), 0);
      auto add = [&](int i) {
        FoundFileRecord* slot = nullptr;
        ASSERT_EQ(store.NewRecord(&slot), 0);
        slot->is_folder = i % 7 == 0 ? 1 : 0;
        slot->content_check = i % 5 == 0 ? 0 : 1;  // some damaged pictures
        slot->deleted = i % 3 == 0 ? 1 : 0;
        slot->size = static_cast<uint64_t>(i) * 100;
        slot->SetName(kNames[i % std::size(kNames)]);
      };
      auto search = [&] {
        std::vector<FoundFileRecord> found;
        EXPECT_EQ(store.SearchExtensions(pattern, &found), 0);
        std::erase_if(found, [&](const FoundFileRecord& f) { return !chosen.Matches(f, {}); });
        return uint64_t{found.size()};
      };
      auto rename = [&](RecordNumber number, const char* name, uint32_t content_check) {
        FoundFileRecord record;
        ASSERT_EQ(store.ReadRecord(number, &record), 0);
        record.SetName(name);
        record.content_check = content_check;
        ASSERT_EQ(store.RewriteRecord(record), 0);
      };
      for (int i = 1; i <= 450; ++i) add(i);    // two blocks appended, one buffered
      (void)store.ListedCount();                // counts the buffered ones
      rename(3, "x.txt", 1);                    // appended
      rename(5, "good.jpg", 1);                 // appended, no longer damaged
      rename(420, "y", 1);                      // buffered and counted
      rename(449, "z.jpg", 0);                  // buffered and counted, now damaged
      for (int i = 451; i <= 470; ++i) add(i);  // buffered, not yet counted
      rename(460, "w.txt", 1);
      EXPECT_EQ(store.ListedCount(), search()) << pattern;
      rename(7, "v.jpg", 1);  // a folder keeps out of the list whatever its name
      rename(8, "u.txt", 1);
      EXPECT_EQ(store.ListedCount(), search()) << pattern;
      ASSERT_EQ(store.Close(), 0);

      ScanResultStore continued;
      ASSERT_EQ(continued.Open(folder, "Carve"), 0);
      EXPECT_EQ(continued.ListedCount(), 0u);  // until asked to count
      ASSERT_EQ(continued.CountListed(pattern, chosen), 0);
      std::vector<FoundFileRecord> found;
      ASSERT_EQ(continued.SearchExtensions(pattern, &found), 0);
      std::erase_if(found, [&](const FoundFileRecord& f) { return !chosen.Matches(f, {}); });
      EXPECT_EQ(continued.ListedCount(), found.size()) << pattern;
    }
  }
}

TEST_F(ScanResultStoreTest, SearchReportsProgressAndStopsWhenAsked) {
  for (int i = 0; i < 450; ++i) Add("f" + std::to_string(i) + ".jpg", 0, 0);
  struct Progress {
    std::vector<int32_t> percents;
    int32_t answer = 0;
  } progress;
  store_.SetSearchCallback(
      [](void* user, int32_t percent, int32_t) {
        auto* p = static_cast<Progress*>(user);
        p->percents.push_back(percent);
        return p->answer;
      },
      &progress);

  std::vector<FoundFileRecord> found;
  EXPECT_EQ(store_.SearchExtensions("*.jpg", &found), 0);
  EXPECT_EQ(found.size(), 450u);
  EXPECT_EQ(progress.percents, (std::vector<int32_t>{44, 88, 100}));

  progress = {{}, kCancelCode};
  found.clear();
  EXPECT_EQ(store_.SearchExtensions("*.jpg", &found), kCancelCode);
  EXPECT_EQ(found.size(), 200u);  // the first block's matches stay
  EXPECT_EQ(progress.percents.size(), 1u);
}

TEST_F(ScanResultStoreTest, BuildsPathsAndCountsOverTheTree) {
  AddFile(kRoot, "top.txt");
  const RecordNumber a = AddFolder(kRoot, 10, "A");
  const RecordNumber b = AddFolder(MakeFolderKey(10, 1), 20, "B");
  const RecordNumber f = AddFile(MakeFolderKey(20, 2), "f.txt");
  // Folder C has no folder-info entry, so its name comes from the records,
  // which still sit in the write buffer here.
  const RecordNumber c = AddFolder(MakeFolderKey(20, 2), 30, "C", /*with_info=*/false);
  const RecordNumber g = AddFile(MakeFolderKey(30, 3), "g.txt");
  // No folder anywhere has key 77.
  const RecordNumber lost = AddFile(MakeFolderKey(77, 3), "lost.txt");

  EXPECT_EQ(PathOf(1), "");
  EXPECT_EQ(PathOf(a), "");
  EXPECT_EQ(PathOf(b), "A/");
  EXPECT_EQ(PathOf(f), "A/B/");
  EXPECT_EQ(PathOf(c), "A/B/");
  EXPECT_EQ(PathOf(g), "A/B/C/");
  EXPECT_EQ(PathOf(lost), "");
  EXPECT_EQ(PathOf(999), "");  // filed nowhere

  EXPECT_EQ(Count(0), 3u);  // lost.txt hangs below no folder
  EXPECT_EQ(Count(MakeFolderKey(10, 1)), 2u);
  EXPECT_EQ(Count(MakeFolderKey(20, 2)), 2u);
  EXPECT_EQ(Count(MakeFolderKey(20, 1)), 0u);

  FoundFileRecord record = EmptyRecord();
  record.record_number = g;
  std::vector<FoundFileRecord> folders;
  ASSERT_EQ(store_.Path(record, &folders), 0);
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(RecordNumber{folders[0].record_number}, c);  // nearest first
  EXPECT_EQ(RecordNumber{folders[2].record_number}, a);
  EXPECT_EQ(uint32_t{folders[2].is_folder}, 1u);
}

TEST_F(ScanResultStoreTest, TwistedIndexesEndEveryWalk) {
  AddFile(kRoot, "top.txt");
  // S is filed inside itself.
  const RecordNumber s = AddFolder(MakeFolderKey(30, 1), 30, "S");
  const RecordNumber in_s = AddFile(MakeFolderKey(30, 1), "in_s.txt");
  // P and Q are filed inside each other.
  AddFolder(MakeFolderKey(50, 1), 40, "P");
  AddFolder(MakeFolderKey(40, 1), 50, "Q");
  const RecordNumber in_p = AddFile(MakeFolderKey(40, 1), "in_p.txt");

  EXPECT_EQ(PathOf(s), "");
  EXPECT_EQ(PathOf(in_s), "S/");
  EXPECT_EQ(PathOf(in_p), "Q/P/");

  // A chain whose every level names the next folder twice: without visiting
  // each folder once, counting would take 2^30 steps.
  for (uint32_t level = 1; level <= 30; ++level) {
    const FolderKey here = MakeFolderKey(100 + level, level);
    AddFile(here, "x.txt");
    const RecordNumber next = Add("d", 1, 101 + level);
    ASSERT_EQ(store_.Relate(here, next, 101 + level, std::nullopt), 0);
    ASSERT_EQ(store_.Relate(here, next, 101 + level, std::nullopt), 0);
  }
  EXPECT_EQ(Count(MakeFolderKey(101, 1)), 30u);
  EXPECT_EQ(Count(MakeFolderKey(30, 1)), 1u);
  EXPECT_EQ(Count(0), 1u);
}

// Paths answer from lookups kept as records arrive and rebuilt on opening;
// both must give what a walk over the lists gives, also on shapes a scan of
// a large or damaged card produces.
TEST_F(ScanResultStoreTest, PathsAgreeLiveAndAfterReopening) {
  AddFile(kRoot, "top.txt");
  // A chain 300 folders deep with a file at the bottom.
  std::string deep_path;
  FolderKey here = kRoot;
  for (uint32_t level = 1; level <= 300; ++level) {
    const std::string name = "d" + std::to_string(level);
    AddFolder(here, 1000 + level, name);
    deep_path += name + "/";
    here = MakeFolderKey(1000 + level, level);
  }
  const RecordNumber deep = AddFile(here, "bottom.jpg");
  // 10,000 siblings in one folder; the first and last are probed.
  AddFolder(kRoot, 10, "DCIM");
  const RecordNumber first_sibling = AddFile(MakeFolderKey(10, 1), "IMG_0.JPG");
  RecordNumber last_sibling = first_sibling;
  for (int i = 1; i < 10'000; ++i) {
    last_sibling = AddFile(MakeFolderKey(10, 1), "IMG_" + std::to_string(i) + ".JPG");
  }
  // A file filed twice: the list of the smaller key names its folder,
  // whichever was related first.
  AddFolder(kRoot, 60, "Low");
  AddFolder(kRoot, 70, "High");
  const RecordNumber twice = AddFile(MakeFolderKey(70, 1), "twice.txt");
  ASSERT_EQ(store_.Relate(MakeFolderKey(60, 1), twice, 0, std::nullopt), 0);
  // Two folders with the same key: the first folder info names them.
  AddFolder(kRoot, 80, "First");
  AddFolder(kRoot, 80, "Second");
  const RecordNumber shared = AddFile(MakeFolderKey(80, 1), "shared.txt");
  // P and Q filed inside each other.
  AddFolder(MakeFolderKey(50, 1), 40, "P");
  AddFolder(MakeFolderKey(40, 1), 50, "Q");
  const RecordNumber looped = AddFile(MakeFolderKey(40, 1), "in_p.txt");

  const struct {
    RecordNumber record;
    std::string path;
  } cases[] = {
      {deep, deep_path},  {first_sibling, "DCIM/"}, {last_sibling, "DCIM/"},  {twice, "Low/"},
      {shared, "First/"}, {looped, "Q/P/"},         {store_.Count() + 1, ""},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& c : cases) {
      EXPECT_EQ(PathOf(c.record), c.path) << "record " << c.record << " pass " << pass;
    }
    ASSERT_EQ(store_.Close(), 0);
    ASSERT_EQ(store_.Open(folder(), "Fast_0_2026439 5"), 0);
  }
}

// Records of one folder share one path; asking in any order, and after the
// indexes or a folder's name changed, still gives each record its own.
TEST_F(ScanResultStoreTest, PathsStayRightWhateverWasAskedBefore) {
  const RecordNumber a = AddFolder(kRoot, 10, "A");
  const RecordNumber in_a = AddFile(MakeFolderKey(10, 1), "a.txt");
  const RecordNumber in_a2 = AddFile(MakeFolderKey(10, 1), "a2.txt");
  const RecordNumber in_b = AddFile(MakeFolderKey(20, 2), "b.txt");
  AddFolder(MakeFolderKey(10, 1), 20, "B");
  // C's name comes from its record, which a rewrite renames.
  const RecordNumber c = AddFolder(kRoot, 30, "C", /*with_info=*/false);
  const RecordNumber in_c = AddFile(MakeFolderKey(30, 1), "c.txt");
  // P and Q filed inside each other: P itself lies on the climb of Q's files.
  const RecordNumber p = AddFolder(MakeFolderKey(50, 1), 40, "P");
  AddFolder(MakeFolderKey(40, 1), 50, "Q");
  const RecordNumber in_q = AddFile(MakeFolderKey(50, 1), "in_q.txt");
  // Filed below a folder the scan has not found yet.
  const RecordNumber early = AddFile(MakeFolderKey(77, 1), "early.txt");

  const struct {
    RecordNumber record;
    std::string path;
  } asked[] = {
      {in_a, "A/"},   {in_a2, "A/"}, {a, ""},        {in_a, "A/"}, {in_b, "A/B/"}, {in_a, "A/"},
      {in_q, "P/Q/"}, {p, "Q/"},     {in_q, "P/Q/"}, {early, ""},  {in_c, "C/"},
  };
  for (const auto& c : asked) EXPECT_EQ(PathOf(c.record), c.path) << "record " << c.record;

  AddFolder(kRoot, 77, "Late");
  EXPECT_EQ(PathOf(early), "Late/");
  FoundFileRecord renamed = EmptyRecord();
  ASSERT_EQ(store_.ReadRecord(c, &renamed), 0);
  renamed.SetName("D");
  ASSERT_EQ(store_.RewriteRecord(renamed), 0);
  EXPECT_EQ(PathOf(in_c), "D/");
}

TEST_F(ScanResultStoreTest, DamagedCompanionsOpenWithWhatCanBeRead) {
  AddFile(kRoot, "a.jpg");
  AddFolder(kRoot, 5, "DCIM");
  AddFile(MakeFolderKey(5, 1), "b.jpg");
  ASSERT_EQ(store_.Close(), 0);
  const std::string good_info = Contents("_DirInfo");

  struct Case {
    const char* what;
    std::string relation;
    std::string info;
    FolderRelationMap expected;
    std::size_t infos;
  };
  const Case cases[] = {
      {"both empty", "", "", {}, 0},
      {"garbage", "\xff\xfe\x00garbage", std::string(500, '\xee'), {}, 0},
      {"record beyond the file", " | 2 - [1,2,9]", good_info, {{kRoot, {1, 2}}}, 1},
      {"key without digits", " | x - [1] | 2 - [2]", good_info, {{kRoot, {2}}}, 1},
      {"unterminated list", " | 2 - [1,2] | 4294967301 - [3", good_info, {{kRoot, {1, 2}}}, 1},
      {"short folder info", " | 2 - [1]", good_info.substr(0, 100), {{kRoot, {1}}}, 0},
  };
  for (const Case& c : cases) {
    Overwrite("_Relation", c.relation);
    Overwrite("_DirInfo", c.info);
    ScanResultStore store;
    ASSERT_EQ(store.Open(folder(), file().filename()), 0) << c.what;
    EXPECT_EQ(store.Count(), 3u) << c.what;
    EXPECT_EQ(store.relation_map(), c.expected) << c.what;
    EXPECT_EQ(store.folder_infos().size(), c.infos) << c.what;
    std::vector<FoundFileRecord> listed;
    EXPECT_EQ(store.ListFolder(0, &listed), 0) << c.what;
    uint64_t count = 0;
    EXPECT_EQ(store.CountFiles(0, &count), 0) << c.what;
  }
}

TEST_F(ScanResultStoreTest, RewriteDropsADamagedTail) {
  AddFile(kRoot, "a.jpg");
  ASSERT_EQ(store_.Close(), 0);
  Overwrite("_Relation", " | 2 - [1]" + std::string(1000, '#'));
  Overwrite("_DirInfo", std::string(300, '\0'));

  ScanResultStore store;
  ASSERT_EQ(store.Open(folder(), file().filename()), 0);
  FoundFileRecord* slot = nullptr;
  ASSERT_EQ(store.NewRecord(&slot), 0);
  ASSERT_EQ(store.Relate(kRoot, 2, 8, "New"), 0);
  ASSERT_EQ(store.Flush(), 0);
  EXPECT_EQ(Contents("_Relation"), " | 2 - [1,2]");
  EXPECT_EQ(Contents("_DirInfo").size(), kFolderInfoEntryBytes);
}

TEST_F(ScanResultStoreTest, RefusesWhatItCannotDo) {
  ScanResultStore closed;
  FoundFileRecord* slot = nullptr;
  EXPECT_EQ(closed.NewRecord(&slot), err::kInvalidParameter);
  EXPECT_EQ(slot, nullptr);
  std::vector<FoundFileRecord> records;
  EXPECT_EQ(closed.ListFolder(0, &records), err::kInvalidParameter);
  EXPECT_EQ(closed.Count(), 0u);

  EXPECT_EQ(store_.Relate(kRoot, 1, 0, std::nullopt), err::kInvalidParameter);
  FoundFileRecord folder;
  EXPECT_EQ(store_.FindFolderRecord(3, &folder), err::kInvalidParameter);

  std::ofstream(dir_ / "plain") << "x";
  ScanResultStore misplaced;
  EXPECT_NE(misplaced.Open(dir_ / "plain" / "7", "Fast"), 0);
  EXPECT_FALSE(misplaced.is_open());
}

}  // namespace
}  // namespace vexlo
