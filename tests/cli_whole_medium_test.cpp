// Whole cards as a user meets them: images of a whole card made by `dd`, with
// an MBR or GPT partition table, one partition or a FAT32 and an exFAT one,
// and the same cards as block devices (loop devices, attached read-only,
// without partition scanning, so that only the medium's own table tells
// where its partitions lie). Each partition is scanned and recovered from,
// IMAGE:N names one, and a card without a table is scanned whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/card_image_test.h"
#include "tests/support/disk_image.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/loop_device.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

constexpr uint64_t kFatStart = 2048;
constexpr uint64_t kFatSectors = 98304;  // 48 MiB
constexpr uint64_t kExFatStart = kFatStart + kFatSectors;

// "source path/name size" per found file.
std::string Found(const TempDir& temp, const std::string& json) {
  return JsonLines(temp, json,
                   "\"%s %s%s %d\" % (r[\"source\"],r[\"path\"],r[\"name\"],r[\"size\"])");
}

std::size_t ScanLogFolders(const TempDir& temp) {
  const std::filesystem::path root = temp / "data" / "VexloSdCardDataRecovery" / "ScanLog";
  std::size_t folders = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
    folders += entry.is_directory() ? 1 : 0;
  }
  return folders;
}

// Cards of 80 MiB: a FAT32 partition with a deleted photo in a folder, and,
// for two partitions, an exFAT one behind it with a deleted text.
class CliWholeCard : public CardImageTest {
 protected:
  void MakeCard(const std::string& table, bool with_exfat) {
    const std::filesystem::path fat = temp_ / "fat.img";
    ASSERT_EQ(MakeFatImage(fat, {.fat_bits = 32, .size_kib = kFatSectors / 2}), "");
    ASSERT_EQ(Mtools(fat, "mmd", {"::/DCIM"}), "");
    ASSERT_EQ(FatWriteFile(fat, "/DCIM/GONE.JPG", photo_), "");
    ASSERT_EQ(FatWriteFile(fat, "/KEPT.TXT", PatternBytes(900, 9)), "");
    ASSERT_EQ(Mtools(fat, "mdel", {"::/DCIM/GONE.JPG"}), "");
    ASSERT_EQ(MakeDiskImage(card_, 80, table), "");
    ASSERT_EQ(PlaceVolume(card_, fat, kFatStart), "");
    if (!with_exfat) return;
    const std::filesystem::path exfat = temp_ / "exfat.img";
    ExFatImage volume;
    ASSERT_EQ(volume.Format(exfat, 16, 4096), "");
    volume.Delete(
        volume.AddFile(volume.root(), u"notes.txt", notes_, ExFatLayout::kContiguous, {}));
    ASSERT_EQ(volume.Save(), "");
    ASSERT_EQ(PlaceVolume(card_, exfat, kExFatStart), "");
  }

  std::vector<uint8_t> photo_ = JpegBytes(20000, 1);
  std::vector<uint8_t> notes_ = PatternBytes(3000, 2);
};

TEST_F(CliWholeCard, EveryPartitionOfAnImageIsScannedInEveryMode) {
  const std::string card = card_.string();
  struct Case {
    std::string what;
    std::string table;
    bool with_exfat;
    std::string expected;
  };
  const std::string fat_photo = card + ":1 dcim/!one.jpg 20000\n";
  const std::vector<Case> cases = {
      {"mbr", "label: dos\nstart=2048, size=98304, type=c", false, card + " dcim/!one.jpg 20000\n"},
      {"gpt", "label: gpt\nstart=2048, size=98304", false, card + " dcim/!one.jpg 20000\n"},
      {"fat32 and exfat", "label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=7", true,
       fat_photo + card + ":2 notes.txt 3000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakeCard(c.table, c.with_exfat);
    for (const std::string mode : {"quick", "formatted"}) {
      SCOPED_TRACE(mode);
      const ToolRun run =
          RunTool(temp_, {"scan", card, "--json", "--mode", mode, "--types", "jpg,txt", "--fresh"});
      ASSERT_EQ(run.status, 0) << run.err;
      // Carving may add what it finds in the free space; the file system's
      // files must be there under their names.
      const std::string found = Found(temp_, run.out);
      for (std::size_t at = 0, end = 0; at < c.expected.size(); at = end + 1) {
        end = c.expected.find('\n', at);
        EXPECT_NE(found.find(c.expected.substr(at, end - at + 1)), std::string::npos) << found;
      }
    }
    // The quick scans' logs are gone, each partition's deep one is kept.
    EXPECT_EQ(ScanLogFolders(temp_), c.with_exfat ? 2u : 1u);
  }
}

TEST_F(CliWholeCard, ListNamesThePartitionsAndEachCanBeScannedAlone) {
  MakeCard("label: gpt\nstart=2048, size=98304\nstart=100352", true);
  const std::string card = card_.string();
  const ToolRun list = RunTool(temp_, {"list", card});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("80.0 MiB, a GPT partition table"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("FAT32"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(card + ":2"), std::string::npos) << list.out;
  const ToolRun json = RunTool(temp_, {"list", card, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(JsonLines(temp_, json.out,
                      "\"%d %d %d %s\" % (r[\"number\"],r[\"start\"],"
                      "r[\"length\"],r[\"file_system\"])"),
            "1 2048 98304 FAT32\n2 100352 61440 exFAT\n");

  struct Case {
    std::string source;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {card + ":1", card + ":1 dcim/!one.jpg 20000\n"},
      {card + ":2", card + ":2 notes.txt 3000\n"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(temp_, {"scan", c.source, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Found(temp_, run.out), c.expected);
  }
  const ToolRun missing = RunTool(temp_, {"scan", card + ":3"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("has no partition 3"), std::string::npos) << missing.err;
}

TEST_F(CliWholeCard, RecoverWritesTheFilesOfEveryPartition) {
  MakeCard("label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=7", true);
  const std::filesystem::path out = temp_ / "out";
  const ToolRun run = RunTool(temp_, {"recover", card_.string(), "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("2 written, 0 failed, 23000 bytes"), std::string::npos) << run.out;
  EXPECT_EQ(Sha256OfFile(out / "photo" / "!one.jpg"), Sha256OfBytes(photo_));
  EXPECT_EQ(Sha256OfFile(out / "document" / "notes.txt"), Sha256OfBytes(notes_));
  EXPECT_EQ(ScanLogFolders(temp_), 0u);
}

// Each partition's count, the closing one and the recovery's read "1 file"
// for one file.
TEST_F(CliWholeCard, OneFileIsCountedAsOne) {
  MakeCard("label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=7", true);
  const std::string card = card_.string();
  const ToolRun scan = RunTool(temp_, {"scan", card, "--mode", "quick", "--types", "jpg"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_NE(scan.out.find(card + ":1 (FAT32, 48.0 MiB): 1 file\n"), std::string::npos) << scan.out;
  EXPECT_NE(scan.out.find(card + ":2 (exFAT, 31.0 MiB): 0 files\n"), std::string::npos) << scan.out;
  EXPECT_NE(scan.out.find("\n1 file found.\n"), std::string::npos) << scan.out;

  const ToolRun run = RunTool(temp_, {"recover", card + ":2", "--to", (temp_ / "out").string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("\nFinished 1 of 1 file: 1 written, 0 failed, 3000 bytes.\n"),
            std::string::npos)
      << run.out;
}

// The same card as a block device: the kernel lists no partitions of a loop
// device attached without partition scanning, the table is read from it.
TEST_F(CliWholeCard, AWholeDiskIsScannedPartitionByPartition) {
  MakeCard("label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=7", true);
  LoopDevice loop(card_);
  if (!loop.attached()) GTEST_SKIP() << loop.reason();
  const std::string device = loop.path().string();
  struct Case {
    std::string source;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {device, device + ":1 dcim/!one.jpg 20000\n" + device + ":2 notes.txt 3000\n"},
      {device + ":2", device + ":2 notes.txt 3000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const ToolRun run = RunTool(temp_, {"scan", c.source, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Found(temp_, run.out), c.expected);
  }
  const ToolRun list = RunTool(temp_, {"list", device});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("an MBR partition table"), std::string::npos) << list.out;
}

// Cards formatted without a partition table, FAT and exFAT, as devices:
// listed as one volume of their file system and scanned over their whole
// length, as their entry of the disk list is.
TEST(CliWholeDisk, ACardWithoutATableIsListedAndScannedWhole) {
  struct Case {
    std::string file_system;
    std::string found;
  };
  const Case cases[] = {{"FAT", "!one.jpg 15000\n"}, {"exFAT", "gone.jpg 15000\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_system);
    TempDir temp;
    ScopedDataHome data_home(temp / "data");
    const std::filesystem::path card = temp / "card.img";
    const std::vector<uint8_t> photo = JpegBytes(15000, 3);
    if (c.file_system == "FAT") {
      ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
      ASSERT_EQ(FatWriteFile(card, "/GONE.JPG", photo), "");
      ASSERT_EQ(Mtools(card, "mdel", {"::/GONE.JPG"}), "");
    } else {
      ExFatImage volume;
      ASSERT_EQ(volume.Format(card, 16, 4096), "");
      volume.Delete(
          volume.AddFile(volume.root(), u"gone.jpg", photo, ExFatLayout::kContiguous, {}));
      ASSERT_EQ(volume.Save(), "");
    }
    LoopDevice loop(card);
    if (!loop.attached()) GTEST_SKIP() << loop.reason();

    const ToolRun list = RunTool(temp, {"list", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    // The rows of the other devices sort after the card's.
    const std::string rows =
        JsonLines(temp, list.out,
                  "r[\"source\"] + \" \" + r[\"kind\"] + \" \" + r[\"file_system\"] "
                  "if r[\"device\"] == \"" +
                      loop.path().string() + "\" else \"~\"");
    const std::string entry = rows.substr(0, rows.find('\n') + 1);
    ASSERT_EQ(entry.substr(entry.find(' ')), " volume " + c.file_system + "\n") << list.out;

    for (const std::string& source : {loop.path().string(), entry.substr(0, entry.find(' '))}) {
      SCOPED_TRACE(source);
      const ToolRun run = RunTool(temp, {"scan", source, "--json"});
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(JsonLines(temp, run.out, "\"%s %d\" % (r[\"name\"],r[\"size\"])"), c.found);
    }
  }
}

}  // namespace
}  // namespace vexlo::testing
