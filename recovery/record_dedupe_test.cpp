#include "recovery/record_dedupe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"
#include "tests/support/fat_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

FoundFileRecord FileRecord(FsKind kind, uint32_t key, uint64_t size, const char* name) {
  FoundFileRecord r = EmptyRecord();
  r.fs_kind = static_cast<uint32_t>(kind);
  r.key = key;
  r.size = size;
  r.created = 0x01D5000000000000ull + key;
  r.modified = 0x01D6000000000000ull + key;
  r.cluster_bytes = 4096;
  r.data_start = 100;
  r.entry_sector = 90;
  r.deleted = 1;
  r.SetName(name);
  return r;
}

FoundFileRecord Quick(uint32_t key, uint64_t size, const char* name) {
  return FileRecord(FsKind::kFatQuick, key, size, name);
}
FoundFileRecord Rebuilt(uint32_t key, uint64_t size, const char* name) {
  return FileRecord(FsKind::kFatFormatted, key, size, name);
}

// "kind:name" of each record, in order.
std::vector<std::string> Describe(const std::vector<FoundFileRecord>& records) {
  std::vector<std::string> described;
  for (const auto& r : records) {
    described.push_back(std::to_string(uint32_t{r.fs_kind}) + ":" + std::string(r.Name()));
  }
  return described;
}

struct DedupeCase {
  const char* what;
  std::vector<FoundFileRecord> records;
  std::vector<std::string> kept;
};

std::vector<DedupeCase> DedupeCases() {
  auto rebuilt_elsewhere = Rebuilt(7, 500, "a.jpg");
  rebuilt_elsewhere.entry_sector = 91;  // where the directory data began
  rebuilt_elsewhere.data_start = 36;    // a geometry of its own
  rebuilt_elsewhere.deleted = 0;        // a live entry inside a deleted folder
  auto other_time = Rebuilt(7, 500, "a.jpg");
  other_time.modified += 1;
  auto other_created = Rebuilt(7, 500, "a.jpg");
  other_created.created += 1;
  auto folder = Rebuilt(7, 0, "a.jpg");
  folder.is_folder = 1;
  auto quick_folder = Quick(7, 0, "a.jpg");
  quick_folder.is_folder = 1;
  return {
      {"the rebuilt copy of a quick record goes, wherever it came from",
       {Rebuilt(7, 500, "a.jpg"), Quick(7, 500, "a.jpg"), rebuilt_elsewhere,
        Quick(7, 500, "a.jpg")},
       {"1:a.jpg", "1:a.jpg"}},
      {"names compare without regard to case",
       {Quick(7, 500, "Photo.JPG"), Rebuilt(7, 500, "photo.jpg")},
       {"1:Photo.JPG"}},
      {"another name, cluster, size or time is another file",
       {Quick(7, 500, "a.jpg"), Rebuilt(7, 500, "b.jpg"), Rebuilt(8, 500, "a.jpg"),
        Rebuilt(7, 501, "a.jpg"), other_time, other_created},
       {"1:a.jpg", "3:b.jpg", "3:a.jpg", "3:a.jpg", "3:a.jpg", "3:a.jpg"}},
      {"one quick record stands for one rebuilt copy",
       {Rebuilt(7, 500, "a.jpg"), Quick(7, 500, "a.jpg"), Rebuilt(7, 500, "a.jpg")},
       {"1:a.jpg", "3:a.jpg"}},
      {"folders, carved and NTFS records stay",
       {quick_folder, folder, FileRecord(FsKind::kCarving, 7, 500, "a.jpg"),
        FileRecord(FsKind::kNtfsFormatted, 7, 500, "a.jpg"),
        FileRecord(FsKind::kNtfsQuick, 7, 500, "a.jpg")},
       {"1:a.jpg", "3:a.jpg", "4:a.jpg", "2:a.jpg", "0:a.jpg"}},
      {"records of an exFAT quick engine are no FAT entries",
       {FileRecord(FsKind::kExFatQuick, 7, 500, "a.jpg"), Rebuilt(7, 500, "a.jpg")},
       {"5:a.jpg", "3:a.jpg"}},
  };
}

TEST(RecordDedupeTest, DropsOnlyRebuiltCopiesOfQuickRecords) {
  for (const DedupeCase& c : DedupeCases()) {
    std::vector<FoundFileRecord> records = c.records;
    DropRebuiltFatDuplicates(&records);
    EXPECT_EQ(Describe(records), c.kept) << c.what;
  }
}

TEST(RecordDedupeTest, LeavesRecordsBeforeTheFirstAlone) {
  std::vector<FoundFileRecord> records = {Rebuilt(7, 500, "a.jpg"), Quick(7, 500, "a.jpg"),
                                          Rebuilt(7, 500, "a.jpg")};
  DropRebuiltFatDuplicates(&records, 1);
  EXPECT_EQ(Describe(records), (std::vector<std::string>{"3:a.jpg", "1:a.jpg"}));
}

// ---------------------------------------------------------------- scans

constexpr const char* kPattern = "*.jpg|*.txt|*.other";

struct VolumeFile {
  const char* path;  // on the volume
  std::size_t size;  // distinct per file: what the checks find a file by
  bool jpeg;
};

struct ScanCase {
  const char* what;
  testing::FatFormat format;
  std::vector<VolumeFile> deleted_folder;  // under /trip, deleted with it
  // The folder's own entry alone is deleted (as some systems delete), the
  // entries inside stay live.
  bool only_folder_entry_deleted = false;
  bool reload = false;  // list the results of a second, continued scan
};

const std::vector<VolumeFile> kShortNames = {
    {"/trip/beach.jpg", 9000, true},
    {"/trip/notes.txt", 3000, false},
    {"/trip/day2/sunset.jpg", 12000, true},
};

std::vector<VolumeFile> LongNames() {
  // Names of five entries each: the folder spans several clusters, and names
  // begin in one sector and end in the next.
  static const std::vector<std::string> names = [] {
    std::vector<std::string> made;
    for (int i = 10; i < 30; ++i) {
      made.push_back("/trip/Summer holiday at the lake, picture " + std::to_string(i) + ".dat");
    }
    return made;
  }();
  std::vector<VolumeFile> files;
  for (std::size_t i = 0; i < names.size(); ++i)
    files.push_back({names[i].c_str(), 700 + i, false});
  return files;
}

std::vector<ScanCase> ScanCases() {
  return {
      {"FAT12", {.fat_bits = 12, .size_kib = 4096}, kShortNames},
      {"FAT16", {.fat_bits = 16, .size_kib = 16384}, kShortNames},
      {"FAT32", {.fat_bits = 32, .size_kib = 65536}, kShortNames},
      {"FAT16 long names",
       {.fat_bits = 16, .size_kib = 16384, .sectors_per_cluster = 4},
       LongNames()},
      {"FAT32 long names",
       {.fat_bits = 32, .size_kib = 65536, .sectors_per_cluster = 1},
       LongNames()},
      {"FAT16 folder entry alone deleted", {.fat_bits = 16, .size_kib = 16384}, kShortNames, true},
      {"FAT32 results reloaded", {.fat_bits = 32, .size_kib = 65536}, kShortNames, false, true},
  };
}

std::vector<uint8_t> Content(const VolumeFile& file) {
  return file.jpeg ? testing::JpegBytes(file.size, static_cast<uint32_t>(file.size))
                   : testing::PatternBytes(file.size, static_cast<uint32_t>(file.size));
}

// Gives the entries of `short_names` (8 + 3, first letter included) back
// their first letter: the folder's contents read as live again.
void ReviveEntries(const std::filesystem::path& image,
                   const std::vector<std::string>& short_names) {
  const uint64_t bytes = std::filesystem::file_size(image);
  std::vector<uint8_t> all = testing::ReadFileBytes(image, 0, bytes);
  for (const std::string& name : short_names) {
    for (uint64_t at = 0; at + 32 <= bytes; at += 32) {
      if (all[at] == 0xE5 && std::equal(name.begin() + 1, name.end(), all.begin() + at + 1)) {
        const uint8_t first = static_cast<uint8_t>(name[0]);
        testing::WriteFileBytes(image, at, {&first, 1});
      }
    }
  }
}

std::string BuildVolume(const std::filesystem::path& image, const ScanCase& c) {
  std::string failed = testing::MakeFatImage(image, c.format);
  // Folders first, their files in name order, each first made empty: the
  // folders' clusters come before any data, so that no carved file runs
  // over them.
  for (const char* folder : {"::/trip", "::/trip/day2"}) {
    if (failed.empty()) failed = testing::Mtools(image, "mmd", {folder});
  }
  for (const VolumeFile& file : c.deleted_folder) {
    if (failed.empty()) failed = testing::FatWriteFile(image, file.path, {});
  }
  const std::vector<VolumeFile> root = {{"/live.jpg", 5000, true}, {"/gone.jpg", 7000, true}};
  for (const auto* files : {&root, &c.deleted_folder}) {
    for (const VolumeFile& file : *files) {
      if (failed.empty()) failed = testing::FatWriteFile(image, file.path, Content(file));
    }
  }
  if (failed.empty()) failed = testing::Mtools(image, "mdel", {"::/gone.jpg"});
  if (failed.empty()) failed = testing::Mtools(image, "mdeltree", {"::/trip"});
  if (failed.empty() && c.only_folder_entry_deleted) {
    ReviveEntries(image, {"BEACH   JPG", "NOTES   TXT", "SUNSET  JPG", "DAY2       "});
  }
  return failed;
}

class DeletedFolderScanTest : public ::testing::TestWithParam<std::size_t> {};

// Both the quick engine and the rebuild find the files of a deleted folder;
// the type view lists each once, as the quick engine found it, and no carved
// copy of it. The root listing still merges every engine's own tree.
TEST_P(DeletedFolderScanTest, ListsEveryDeletedFileOnce) {
  const ScanCase c = ScanCases()[GetParam()];
  SCOPED_TRACE(c.what);
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto image = dir / "card.img";
  ASSERT_EQ(BuildVolume(image, c), "");
  const auto source_id = static_cast<uint16_t>(0x8200 + GetParam());

  auto engine = CreateEngineForImage(history, image, source_id, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  if (c.reload) {
    engine = CreateEngineForImage(history, image, source_id, kFormattedScanMode);
    ASSERT_EQ(engine->Scan(nullptr), 0);
    ASSERT_TRUE(dynamic_cast<CProfessionalRecovery*>(engine.get())->continued_scan());
  }

  std::vector<FoundFileRecord> found;
  ASSERT_EQ(engine->FindFiles(kPattern, &found), 0);
  std::map<uint64_t, std::vector<uint32_t>> kinds_by_size;
  for (const auto& r : found) kinds_by_size[uint64_t{r.size}].push_back(uint32_t{r.fs_kind});
  // The quick engine reads a deleted folder's first cluster only (its chain
  // is gone); the rebuild alone finds what lies further on.
  std::set<uint64_t> quick_sizes;
  int live_rebuilt = 0;
  for (const auto& [path, r] : testing::ListAllRecords(*engine)) {
    if (r.is_folder != 0) continue;
    if (r.fs_kind == static_cast<uint32_t>(FsKind::kFatQuick)) quick_sizes.insert(uint64_t{r.size});
    live_rebuilt += r.fs_kind == static_cast<uint32_t>(FsKind::kFatFormatted) && r.deleted == 0;
  }
  EXPECT_EQ(live_rebuilt > 0, c.only_folder_entry_deleted) << "entries the rebuild reads as live";
  std::map<uint64_t, std::vector<uint32_t>> expected;
  expected[7000] = {static_cast<uint32_t>(FsKind::kFatQuick)};
  for (const VolumeFile& file : c.deleted_folder) {
    expected[file.size] = {static_cast<uint32_t>(
        quick_sizes.count(file.size) ? FsKind::kFatQuick : FsKind::kFatFormatted)};
  }
  EXPECT_EQ(kinds_by_size, expected) << "size -> the kinds of the records listed";

  std::vector<FoundFileRecord> root;
  ASSERT_EQ(engine->ListFolder(nullptr, 0, &root), 0);
  std::set<uint32_t> root_kinds;
  for (const auto& r : root) root_kinds.insert(uint32_t{r.fs_kind});
  EXPECT_TRUE(root_kinds.count(static_cast<uint32_t>(FsKind::kFatQuick)));
  EXPECT_TRUE(root_kinds.count(static_cast<uint32_t>(FsKind::kFatFormatted)))
      << "the root listing keeps the rebuilt tree";
}

INSTANTIATE_TEST_SUITE_P(Volumes, DeletedFolderScanTest,
                         ::testing::Range(std::size_t{0}, ScanCases().size()));

}  // namespace
}  // namespace vexlo
