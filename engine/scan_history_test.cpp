#include "engine/scan_history.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string CounterBytes(uint64_t counter) {
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(counter >> (8 * i));
  return bytes;
}

// The fingerprint of the card the tests scan.
MediumFingerprint Card(uint8_t seed = 1) {
  MediumFingerprint fingerprint;
  for (std::size_t i = 0; i < fingerprint.bytes.size(); ++i)
    fingerprint.bytes[i] = static_cast<uint8_t>(seed + i);
  return fingerprint;
}

std::string EntryBytes(const HistoryEntry& entry) {
  std::array<uint8_t, kHistoryEntryBytes> bytes{};
  EXPECT_EQ(EncodeHistoryEntry(entry, bytes), 0);
  return std::string(bytes.begin(), bytes.end());
}

class ScanHistoryTest : public ::testing::Test {
 protected:
  ScanHistoryTest() { platform::SetLogSilenced(true); }
  ~ScanHistoryTest() override { platform::SetLogSilenced(false); }

  fs::path Root() const { return temp_ / "data" / "ScanLog"; }
  std::string Folder(const std::string& name) const { return (Root() / name).string() + "/"; }

  HistoryEntry DiskEntry(const std::string& folder, uint64_t free_bytes = 1000) const {
    HistoryEntry entry;
    entry.disk_number = 1;
    entry.start_sector = 2048;
    entry.sector_count = 100'000;
    entry.free_bytes = free_bytes;
    entry.fingerprint = Card();
    entry.folder = folder;
    return entry;
  }

  void WriteConfig(uint64_t counter, const std::vector<HistoryEntry>& entries,
                   const std::string& tail = "", const char* name = "config") {
    fs::create_directories(Root());
    std::string bytes = CounterBytes(counter);
    for (const HistoryEntry& entry : entries) bytes += EntryBytes(entry);
    WriteBytes(Root() / name, bytes + tail);
  }

  // A scan folder with a log in it, as a finished scan leaves it.
  fs::path MakeFolderWithLog(const std::string& folder) const {
    fs::create_directories(folder);
    WriteBytes(fs::path(folder) / "File_Type_2048_2026439 5", "log");
    return fs::path(folder);
  }

  testing::TempDir temp_;
};

TEST(ScanLogFileNameTest, BuildsNamesWithBlankPaddedMinute) {
  const struct {
    std::string_view prefix;
    uint64_t start_sector;
    int year, month, day, hour, minute;
    const char* expected;
  } cases[] = {
      {kFileTypeLogPrefix, 2048, 2026, 4, 3, 9, 5, "File_Type_2048_2026439 5"},
      {kFastLogPrefix, 0, 2026, 4, 3, 9, 0, "Fast_0_2026439 0"},
      {kProFatLogPrefix, 63, 2025, 12, 31, 23, 59,
       "Pro_Fat_63_2025123123"
       "59"},
      {kProNtfsLogPrefix, 4'294'967'296, 2030, 1, 10, 0, 10,
       "Pro_Ntfs_4294967296_20301100"
       "10"},
  };
  for (const auto& c : cases) {
    std::tm when{};
    when.tm_year = c.year - 1900;
    when.tm_mon = c.month - 1;
    when.tm_mday = c.day;
    when.tm_hour = c.hour;
    when.tm_min = c.minute;
    EXPECT_EQ(ScanLogFileName(c.prefix, c.start_sector, when), c.expected);
  }
}

TEST_F(ScanHistoryTest, FindLogFilePicksTheRecordFileOverCompanions) {
  const fs::path folder = temp_ / "logs";
  fs::create_directories(folder);
  for (const char* name : {"File_Type_2048_2026439 5_Relation", "File_Type_2048_2026439 5_DirInfo",
                           "File_Type_2048_2026439 5", ".File_Type_0_hidden", "Fast_0_2026439 5",
                           "Pro_Fat_0_2026439 5_DirInfo"}) {
    WriteBytes(folder / name, "");
  }
  const struct {
    std::string_view prefix;
    fs::path folder;
    std::optional<std::string> expected;
  } cases[] = {
      {kFileTypeLogPrefix, folder, "File_Type_2048_2026439 5"},
      {kFastLogPrefix, folder, "Fast_0_2026439 5"},
      {kProFatLogPrefix, folder, std::nullopt},  // only a companion is left
      {kProNtfsLogPrefix, folder, std::nullopt},
      {kFastLogPrefix, temp_ / "missing", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix);
    EXPECT_EQ(FindLogFile(c.prefix, c.folder), c.expected);
  }
}

TEST_F(ScanHistoryTest, RecordedScansSurviveARestart) {
  const fs::path image = temp_ / "Kärtchen 写真.img";
  WriteBytes(image, "image");
  {
    ScanHistory history(Root());
    history.BeginNewScan();
    const fs::path disk_folder = history.CurrentFolder();
    EXPECT_EQ(disk_folder.string(), Folder("1"));
    EXPECT_TRUE(fs::is_directory(disk_folder));
    ASSERT_EQ(
        history.RecordScan({1, 2048, 100'000, 777, {}, Card()}, {10, 20, 3, 13, 5}, disk_folder),
        0);
    history.BeginNewScan();
    ASSERT_EQ(history.RecordScan({kImageDiskNumber, 0, 9, 0, image, Card()}, {0, 0, 0, 9, 2},
                                 history.CurrentFolder()),
              0);
  }
  EXPECT_EQ(fs::file_size(Root() / "config"), 8 + 2 * kHistoryEntryBytes);
  EXPECT_FALSE(fs::exists(Root() / "config.tmp"));

  ScanHistory reloaded(Root());
  EXPECT_EQ(reloaded.counter(), 2u);
  ASSERT_EQ(reloaded.entries().size(), 2u);
  const std::optional<HistoryEntry> disk = reloaded.FindDiskEntry(1, 2048, 100'000, 777, Card());
  ASSERT_TRUE(disk.has_value());
  EXPECT_EQ(disk->position, (ScanPosition{10, 20, 3, 13, 5}));
  EXPECT_EQ(disk->folder, Folder("1"));
  const std::optional<HistoryEntry> img = reloaded.FindImageEntry(image, 0, 9, Card());
  ASSERT_TRUE(img.has_value());
  EXPECT_EQ(img->image_path, image.string());
  EXPECT_EQ(img->disk_number, kImageDiskNumber);
  EXPECT_EQ(img->folder, Folder("2"));
}

TEST_F(ScanHistoryTest, InterruptedSaveIsRecoveredAndConfigWins) {
  const struct {
    const char* name;
    bool config_present;
    uint64_t expected_counter;
  } cases[] = {{"config deleted, config.tmp left", false, 9}, {"both present", true, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Root());
    WriteConfig(9, {DiskEntry(Folder("9"))}, "", "config.tmp");
    if (c.config_present) WriteConfig(4, {});

    ScanHistory history(Root());
    EXPECT_EQ(history.counter(), c.expected_counter);
    EXPECT_EQ(history.entries().size(), c.config_present ? 0u : 1u);
    EXPECT_TRUE(fs::exists(Root() / "config"));
    ASSERT_EQ(history.Save(), 0);
    EXPECT_FALSE(fs::exists(Root() / "config.tmp"));
    EXPECT_EQ(ScanHistory(Root()).counter(), c.expected_counter);
  }
}

TEST_F(ScanHistoryTest, ChangedSourceDropsTheEntryAndItsFolder) {
  const fs::path image = temp_ / "card.img";
  WriteBytes(image, "image");
  const std::optional<MediumFingerprint> none;
  const struct {
    const char* name;
    bool is_image;
    bool validator_changed;  // free bytes, or the image's write time
    std::optional<MediumFingerprint> saved;
    std::optional<MediumFingerprint> now;
    bool found;
  } cases[] = {
      {"disk, unchanged", false, false, Card(), Card(), true},
      {"disk, file copied onto the volume", false, true, Card(), Card(), false},
      {"disk, another card in the reader", false, false, Card(), Card(2), false},
      {"disk, entry saved without a fingerprint", false, false, none, Card(), false},
      {"disk, medium gives no fingerprint", false, false, Card(), none, false},
      {"image untouched", true, false, Card(), Card(), true},
      {"image touched", true, true, Card(), Card(), false},
      {"image rewritten within its time stamp", true, false, Card(), Card(3), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Root());
    std::optional<HistoryEntry> found;
    fs::path folder;
    {
      ScanHistory history(Root());
      history.BeginNewScan();
      folder = MakeFolderWithLog(history.CurrentFolder().string());
      const ScanSource source = c.is_image ? ScanSource{kImageDiskNumber, 0, 9, 0, image, c.saved}
                                           : ScanSource{1, 2048, 100'000, 5000, {}, c.saved};
      ASSERT_EQ(history.RecordScan(source, {}, folder), 0);
      if (c.is_image) {
        if (c.validator_changed)
          fs::last_write_time(image, fs::last_write_time(image) + std::chrono::hours(1));
        found = history.FindImageEntry(image, 0, 9, c.now);
      } else {
        found = history.FindDiskEntry(1, 2048, 100'000, c.validator_changed ? 4096 : 5000, c.now);
      }
    }
    EXPECT_EQ(found.has_value(), c.found);
    EXPECT_EQ(fs::exists(folder), c.found);
    EXPECT_EQ(ScanHistory(Root()).entries().size(), c.found ? 1u : 0u);  // saved at once
  }
}

// An image of a whole card holds a partition per table entry: each keeps its
// own saved scan, as the partitions of a disk do.
TEST_F(ScanHistoryTest, PartitionsOfOneImageKeepTheirOwnEntries) {
  const fs::path image = temp_ / "card.img";
  WriteBytes(image, "image");
  ScanHistory history(Root());
  history.BeginNewScan();
  const fs::path first = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(
      history.RecordScan({kImageDiskNumber, 2048, 1000, 0, image, Card()}, {0, 0, 0, 7, 1}, first),
      0);
  history.BeginNewScan();
  const fs::path second = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(
      history.RecordScan({kImageDiskNumber, 4096, 500, 0, image, Card()}, {0, 0, 0, 5, 1}, second),
      0);

  EXPECT_TRUE(fs::exists(first));
  const std::optional<HistoryEntry> one = history.FindImageEntry(image, 2048, 1000, Card());
  const std::optional<HistoryEntry> two = history.FindImageEntry(image, 4096, 500, Card());
  ASSERT_TRUE(one && two);
  EXPECT_EQ(one->position.sectors_done, 7u);
  EXPECT_EQ(two->position.sectors_done, 5u);
  EXPECT_FALSE(history.FindImageEntry(image, 0, 9, Card()));
  EXPECT_FALSE(history.FindDiskEntry(kImageDiskNumber, 2048, 1000, 0, Card()))
      << "no disk has that path";
}

TEST_F(ScanHistoryTest, GivenBackNumberIsHandedOutAgain) {
  ScanHistory history(Root());
  history.BeginNewScan();
  history.BeginNewScan();
  MakeFolderWithLog(history.CurrentFolder().string());
  history.GiveBackFolderNumber();  // the second scan ended before its main phase
  EXPECT_EQ(history.counter(), 1u);
  EXPECT_EQ(ScanHistory(Root()).counter(), 1u);
  // Whatever scans next gets number 2 again, emptied.
  EXPECT_EQ(history.CurrentFolder().string(), Folder("2"));
  EXPECT_TRUE(fs::is_empty(Folder("2")));
}

TEST_F(ScanHistoryTest, NumberHandedOutElsewhereIsNotGivenBack) {
  ScanHistory window(Root());
  ScanHistory tool(Root());
  window.BeginNewScan();
  tool.BeginNewScan();  // the other run's scan is still going on in folder 2
  window.GiveBackFolderNumber();
  EXPECT_EQ(ScanHistory(Root()).counter(), 2u);
  window.BeginNewScan();
  EXPECT_EQ(window.CurrentFolder().string(), Folder("3"));
  EXPECT_EQ(tool.CurrentFolder().string(), Folder("2"));
}

// Two runs that share the root (the tool beside the window) each record
// their scans while the other does: every entry and every folder number
// survives, whichever run saved last.
TEST_F(ScanHistoryTest, ConcurrentRunsKeepEachOthersEntries) {
  constexpr uint32_t kScansPerRun = 40;
  auto run = [this](uint32_t disk_number, std::vector<std::string>* folders) {
    ScanHistory history(Root());
    for (uint32_t i = 0; i < kScansPerRun; ++i) {
      history.BeginNewScan();
      const fs::path folder = history.CurrentFolder();
      folders->push_back(folder.string());
      ASSERT_EQ(history.RecordScan({disk_number, i, 1000, 0, {}, Card()}, {i, 1, 0, i, i}, folder),
                0);
    }
  };
  std::vector<std::string> first_folders;
  std::vector<std::string> second_folders;
  std::thread first(run, 1u, &first_folders);
  std::thread second(run, 2u, &second_folders);
  first.join();
  second.join();

  ScanHistory reloaded(Root());
  EXPECT_EQ(reloaded.counter(), 2 * kScansPerRun);
  EXPECT_EQ(reloaded.entries().size(), 2 * kScansPerRun);
  std::set<std::string> folders(first_folders.begin(), first_folders.end());
  folders.insert(second_folders.begin(), second_folders.end());
  EXPECT_EQ(folders.size(), 2 * kScansPerRun);
  for (uint32_t disk_number : {1u, 2u}) {
    for (uint32_t i = 0; i < kScansPerRun; ++i) {
      EXPECT_TRUE(reloaded.FindDiskEntry(disk_number, i, 1000, 0, Card()).has_value())
          << "disk " << disk_number << " scan " << i;
    }
  }
}

TEST_F(ScanHistoryTest, NewScanReusingAFolderNumberDropsItsEntry) {
  WriteConfig(0, {DiskEntry(Folder("1")), DiskEntry(Folder("5"))});
  const fs::path reused = MakeFolderWithLog(Folder("1"));
  ScanHistory history(Root());
  history.BeginNewScan();
  EXPECT_EQ(history.CurrentFolder(), reused);
  EXPECT_TRUE(fs::is_empty(reused));
  ASSERT_EQ(history.entries().size(), 1u);
  EXPECT_EQ(history.entries()[0].folder, Folder("5"));
}

TEST_F(ScanHistoryTest, WorksUnderASymlinkedDataFolder) {
  fs::create_directories(temp_ / "real");
  fs::create_directory_symlink(temp_ / "real", temp_ / "alias");
  const fs::path root = temp_ / "alias" / "ScanLog";
  ScanHistory history(root);
  history.BeginNewScan();
  const fs::path folder = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(history.RecordScan({1, 2048, 100'000, 5, {}, Card()}, {}, folder), 0);
  EXPECT_FALSE(history.FindDiskEntry(1, 2048, 100'000, 6, Card()).has_value());
  EXPECT_FALSE(fs::exists(temp_ / "real" / "ScanLog" / "1"));
}

TEST_F(ScanHistoryTest, RemoveFolderIgnoresCaseAndMissingFolders) {
  WriteConfig(3, {DiskEntry(Folder("Scan7")), DiskEntry(Folder("scan7")), DiskEntry(Folder("8"))});
  ScanHistory history(Root());
  ASSERT_EQ(history.entries().size(), 3u);
  const fs::path eight = MakeFolderWithLog(Folder("8"));

  EXPECT_EQ(history.RemoveFolder(Folder("SCAN7")), 0);  // no such folder: entries only
  ASSERT_EQ(history.entries().size(), 1u);
  EXPECT_EQ(history.RemoveFolder(eight), 0);
  EXPECT_TRUE(history.entries().empty());
  EXPECT_FALSE(fs::exists(eight));
  EXPECT_TRUE(ScanHistory(Root()).entries().empty());
}

TEST_F(ScanHistoryTest, RecordScanUpdatesOrReplacesTheSourceEntry) {
  ScanHistory history(Root());
  history.BeginNewScan();
  const fs::path first = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(history.RecordScan({1, 2048, 100'000, 5000, {}, Card()}, {1, 2, 3, 4, 5}, first), 0);

  // Continued in the same folder while the volume changed: new position, and
  // the folder with the results on show stays.
  history.ContinueScan(history.entries()[0]);
  EXPECT_EQ(history.CurrentFolder(), first);
  ASSERT_EQ(history.RecordScan({1, 2048, 100'000, 4000, {}, Card()}, {6, 7, 8, 9, 10}, first), 0);
  ASSERT_EQ(history.entries().size(), 1u);
  EXPECT_EQ(history.entries()[0].position, (ScanPosition{6, 7, 8, 9, 10}));
  EXPECT_TRUE(fs::exists(first));
  // ... but the next lookup sees the change.
  EXPECT_FALSE(history.FindDiskEntry(1, 2048, 100'000, 4000, Card()).has_value());
  EXPECT_FALSE(fs::exists(first));

  // A scan of the source in another folder supersedes the older one.
  history.BeginNewScan();
  const fs::path second = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(history.RecordScan({1, 2048, 100'000, 4000, {}, Card()}, {}, second), 0);
  history.BeginNewScan();
  const fs::path third = MakeFolderWithLog(history.CurrentFolder().string());
  ASSERT_EQ(history.RecordScan({1, 2048, 100'000, 4000, {}, Card()}, {}, third), 0);
  ASSERT_EQ(history.entries().size(), 1u);
  EXPECT_EQ(history.entries()[0].folder, third.string());
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(fs::exists(third));
}

TEST_F(ScanHistoryTest, UnstorablePathsLeaveTheHistoryAlone) {
  ScanHistory history(Root());
  history.BeginNewScan();
  const fs::path folder = history.CurrentFolder();
  const struct {
    const char* name;
    ScanSource source;
    fs::path folder;
    int32_t code;
  } cases[] = {
      {"image path of 260 units",
       {kImageDiskNumber, 0, 1, 0, "/" + std::string(259, 'i'), Card()},
       folder,
       err::kFilenameTooLong},
      {"image path not UTF-8",
       {kImageDiskNumber, 0, 1, 0, "/tmp/\xFF.img", Card()},
       folder,
       err::kInvalidParameter},
      {"folder outside the root",
       {1, 0, 1, 0, {}, Card()},
       temp_ / "elsewhere" / "",
       err::kInvalidParameter},
      {"folder of 250 units beside a fingerprint",
       {1, 0, 1, 0, {}, Card()},
       Root() / std::string(248 - Root().string().size(), 'f') / "",
       err::kFilenameTooLong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(history.RecordScan(c.source, {}, c.folder), c.code);
    EXPECT_TRUE(history.entries().empty());
  }
}

TEST_F(ScanHistoryTest, CraftedHistoryNeverDeletesOutsideTheRoot) {
  const fs::path victim = temp_ / "victim";
  fs::create_directories(victim / "inner");
  WriteBytes(victim / "precious", "keep me");
  fs::create_directories(Root());
  fs::create_directory_symlink(victim, Root() / "link");
  fs::create_directory_symlink(temp_.path(), Root() / "up");

  const std::string cases[] = {
      victim.string() + "/",
      Root().string() + "/",
      Root().string() + "/../../victim/",
      Root().string() + "/link/",
      Root().string() + "/link/inner/",
      Root().string() + "/up/victim/",
      "victim/",
      "/",
  };
  for (const std::string& folder : cases) {
    SCOPED_TRACE(folder);
    WriteConfig(1, {DiskEntry(folder, 5)});
    ScanHistory history(Root());
    EXPECT_FALSE(history.FindDiskEntry(1, 2048, 100'000, 6, Card()).has_value());
    EXPECT_NE(history.RemoveFolder(folder), 0);
    EXPECT_TRUE(fs::exists(victim / "precious"));
    EXPECT_TRUE(fs::exists(victim / "inner"));
    EXPECT_TRUE(fs::exists(Root() / "config"));
  }
}

TEST_F(ScanHistoryTest, DamagedHistoryLoadsWhatCanBeRead) {
  HistoryEntry good = DiskEntry(Folder("1"));
  std::string no_terminator = EntryBytes(DiskEntry(Folder("2")));
  for (std::size_t i = history_field::kImagePath; i < history_field::kFolder; ++i)
    no_terminator[i] = 'x';
  const struct {
    const char* name;
    std::string bytes;
    int32_t load_code;
    uint64_t counter;
    std::size_t entries;
  } cases[] = {
      {"empty", "", err::kInvalidParameter, 0, 0},
      {"short counter", "\x05\x00\x00", err::kReadFault, 0, 0},
      {"largest counter", CounterBytes(~uint64_t{0}), err::kSuccess, ~uint64_t{0}, 0},
      {"trailing partial entry", CounterBytes(3) + EntryBytes(good) + std::string(500, 'z'),
       err::kSuccess, 3, 1},
      {"path without NUL", CounterBytes(3) + no_terminator + EntryBytes(good), err::kSuccess, 3, 1},
      {"garbage", std::string(8 + kHistoryEntryBytes * 2, 'A'), err::kSuccess, 0x4141414141414141,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Root());
    fs::create_directories(Root());
    WriteBytes(Root() / "config", c.bytes);
    ScanHistory history(Root());
    EXPECT_EQ(history.Load(), c.load_code);
    EXPECT_EQ(history.counter(), c.counter);
    EXPECT_EQ(history.entries().size(), c.entries);
  }
}

TEST_F(ScanHistoryTest, CounterWrapsInsteadOfOverflowingTheFolderName) {
  WriteConfig(~uint64_t{0}, {});
  ScanHistory history(Root());
  history.BeginNewScan();
  EXPECT_EQ(history.CurrentFolder().string(), Folder("0"));
}

}  // namespace
}  // namespace vexlo
