// The built vexlo-recover scanning and recovering images made at test time:
// which files `scan` lists, what `recover` writes, the type filter, the JSON
// output, Ctrl-C during a deep scan, and the exit statuses of mistakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/card_image_test.h"
#include "tests/support/fat_image.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

// One line "folder/name size deleted" per file object of `json`, sorted;
// the JSON must parse and end in a summary object that counts the files.
std::string JsonSummary(const TempDir& temp, const std::string& json) {
  std::ofstream(temp / "found.json") << json;
  const std::string command =
      "python3 -c 'import json,sys\n"
      "rows=[json.loads(l) for l in open(sys.argv[1]) if l.strip()]\n"
      "summary=rows.pop()[\"summary\"]\n"
      "assert summary==dict(files=len(rows),unreadable_sectors=0), summary\n"
      "keys={\"name\",\"path\",\"size\",\"deleted\",\"fs_kind\",\"record_number\",\"source_id\","
      "\"source\",\"entry_sector\",\"content_check\",\"created\",\"modified\",\"accessed\"}\n"
      "assert all(set(r)==keys for r in rows)\n"
      "sys.stdout.write(\"\".join(sorted(\"%s%s %d %s\\n\" % (r[\"path\"],r[\"name\"],"
      "r[\"size\"],r[\"deleted\"]) for r in rows)))' " +
      ShellQuote((temp / "found.json").string());
  std::string output;
  if (RunCapture(command, &output) != 0) return "unparsable: " + json;
  return output;
}

// A FAT16 card with a kept and a deleted photo in a folder, a deleted text
// and a kept one in the root.
class CliFatCard : public CardImageTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(MakeFatImage(card_, {.fat_bits = 16, .size_kib = 16384}), "");
    ASSERT_EQ(Mtools(card_, "mmd", {"::/DCIM"}), "");
    ASSERT_EQ(FatWriteFile(card_, "/DCIM/KEEP.JPG", JpegBytes(9000, 1)), "");
    ASSERT_EQ(FatWriteFile(card_, "/DCIM/GONE.JPG", photo_), "");
    ASSERT_EQ(FatWriteFile(card_, "/NOTES.TXT", notes_), "");
    ASSERT_EQ(FatWriteFile(card_, "/STAYS.TXT", PatternBytes(700, 4)), "");
    ASSERT_EQ(Mtools(card_, "mdel", {"::/DCIM/GONE.JPG", "::/NOTES.TXT"}), "");
  }

  std::vector<uint8_t> photo_ = JpegBytes(20000, 2);
  std::vector<uint8_t> notes_ = PatternBytes(3000, 3);
};

TEST_F(CliFatCard, QuickScanListsExactlyTheDeletedFiles) {
  const ToolRun json = RunTool(temp_, {"scan", card_.string(), "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(JsonSummary(temp_, json.out), "!otes.txt 3000 True\ndcim/!one.jpg 20000 True\n");

  const ToolRun text = RunTool(temp_, {"scan", card_.string(), "--mode", "quick"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("photo (1)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("document (1)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("2 files found."), std::string::npos) << text.out;
}

TEST_F(CliFatCard, TypesLimitTheResults) {
  struct Case {
    std::string types;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"photo", "dcim/!one.jpg 20000 True\n"},
      {"jpeg", "dcim/!one.jpg 20000 True\n"},
      {"TXT,video", "!otes.txt 3000 True\n"},
      {"audio", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.types);
    const ToolRun run = RunTool(temp_, {"scan", card_.string(), "--json", "--types=" + c.types});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(JsonSummary(temp_, run.out), c.expected);
  }
}

TEST_F(CliFatCard, RecoverWritesIdenticalFilesIntoCategoryFolders) {
  const std::filesystem::path out = temp_ / "recovered";
  const ToolRun run = RunTool(temp_, {"recover", card_.string(), "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Sha256OfFile(out / "photo" / "!one.jpg"), Sha256OfBytes(photo_));
  EXPECT_EQ(Sha256OfFile(out / "document" / "!otes.txt"), Sha256OfBytes(notes_));
  EXPECT_NE(run.out.find("!one.jpg: Success"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 written, 0 failed, 23000 bytes"), std::string::npos) << run.out;

  // A second run keeps the first files and gives the new ones unique names.
  ASSERT_EQ(RunTool(temp_, {"recover", card_.string(), "--to", out.string()}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(out / "photo" / "!one.jpg"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out / "photo"),
                          std::filesystem::directory_iterator()),
            2);
}

// An image whose copy could not read two sectors of a photo: the deep scan
// still finds the photo, and recovering it says which part is zeros.
TEST(CliRecover, SaysHowMuchOfAFileCameFromUnreadableSectors) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  std::vector<uint8_t> card(1 << 20, 0);
  const std::vector<uint8_t> photo = JpegBytes(20000, 6);
  std::copy(photo.begin(), photo.end(), card.begin() + 64 * 512);
  std::fill_n(card.begin() + 80 * 512, 2 * 512, 0);
  const std::filesystem::path image = temp / "card.img";
  std::ofstream(image, std::ios::binary)
      .write(reinterpret_cast<const char*>(card.data()), static_cast<std::streamsize>(card.size()));
  std::ofstream(temp / "card.img.map")
      << "0x0 + 1\n0x0 0xA000 +\n0xA000 0x400 -\n0xA400 0xF5C00 +\n";

  const std::filesystem::path out = temp / "recovered";
  const ToolRun run =
      RunTool(temp, {"recover", image.string(), "--mode", "deep", "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("64.jpg: Success; 1024 bytes are zeros from unreadable sectors"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Files written with zeros where their sectors could not be read: 1."),
            std::string::npos)
      << run.out;
}

TEST_F(CliFatCard, MistakesGiveUsageErrors) {
  const std::string card = card_.string();
  const std::string to = (temp_ / "out").string();
  const std::vector<std::vector<std::string>> cases = {
      {"scan"},
      {"scan", card, card},
      {"scan", card, "--mode", "fast"},
      {"scan", card, "--types", "photo,,jpg"},
      {"scan", card, "--types", "nosuchtype"},
      {"scan", card, "--types="},
      {"scan", card, "--to", to},
      {"scan", "entry:zero"},
      {"recover", card},
      {"recover", card, "--to"},
      {"recover", "--to", to},
      {"recover", card, "--to", to, "--json"},
  };
  for (const auto& args : cases) {
    const ToolRun run = RunTool(temp_, args);
    EXPECT_EQ(run.status, 2) << args[0] << " " << (args.size() > 2 ? args[2] : "") << run.err;
    // The help of the command used, which lists the options it takes.
    EXPECT_NE(run.err.find("Try 'vexlo-recover " + args[0] + " --help'."), std::string::npos)
        << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(to));
}

TEST(CliScan, UnusableSourcesFailWithAClearMessage) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  std::ofstream(temp / "tiny.img") << "too small";
  // Large enough to scan, but no file system: zeros.
  std::ofstream(temp / "blank.img").flush();
  std::filesystem::resize_file(temp / "blank.img", 1 << 20);
  struct Case {
    std::string source;
    std::vector<std::string> extra;
    std::string message;
  };
  const std::string missing = (temp / "missing.img").string();
  const std::vector<Case> cases = {
      {missing, {}, "No such file or directory"},
      {temp.path().string(), {}, "neither an image file nor a block device"},
      // Not one whole sector: no mode can scan it, and none is offered.
      {(temp / "tiny.img").string(), {"--mode", "quick"}, "too small to scan"},
      {(temp / "tiny.img").string(), {"--mode", "deep"}, "too small to scan"},
      {(temp / "blank.img").string(), {"--mode", "quick"}, "try --mode deep"},
  };
  for (const Case& c : cases) {
    for (const std::string command : {"scan", "recover"}) {
      SCOPED_TRACE(command + " " + c.source);
      std::vector<std::string> args = {command, c.source};
      if (command == "recover") args.insert(args.end(), {"--to", (temp / "out").string()});
      args.insert(args.end(), c.extra.begin(), c.extra.end());
      const ToolRun run = RunTool(temp, args);
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find(c.source), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
  }
}

using CliNtfsCard = NtfsCardImageTest;

TEST_F(CliNtfsCard, QuickScanListsTheDeletedFile) {
  ASSERT_EQ(NtfsWriteFile(card_, "/kept.pdf", PatternBytes(5000, 1)), "");
  ASSERT_EQ(NtfsWriteFile(card_, "/lost.pdf", PatternBytes(7000, 2)), "");
  ASSERT_EQ(DeleteNtfsFile(card_, "/lost.pdf"), "");

  const ToolRun run = RunTool(temp_, {"scan", card_.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(JsonSummary(temp_, run.out), "lost.pdf 7000 True\n");
}

// Ctrl-C (or SIGTERM, as a desktop's logout or systemd sends) during a deep
// scan exits with the shell's status for the signal and saves where it
// stopped; the same command then continues and finds what an uninterrupted
// scan finds.
TEST_F(CliFatCard, InterruptedDeepScanContinuesToTheSameResult) {
  const std::filesystem::path big = temp_ / "big.img";
  ASSERT_EQ(MakeFatImage(big, {.fat_bits = 32, .size_kib = 1 << 19}), "");
  ASSERT_EQ(FatWriteFile(big, "/GONE.JPG", photo_), "");
  ASSERT_EQ(FatWriteFile(big, "/NOTES.TXT", notes_), "");
  ASSERT_EQ(Mtools(big, "mdel", {"::/GONE.JPG"}), "");
  const std::vector<std::string> deep = {"scan", big.string(), "--mode", "deep", "--json"};
  std::vector<std::string> fresh = deep;
  fresh.push_back("--fresh");

  struct Case {
    int signal;
    int status;
  };
  for (const Case& c : {Case{SIGINT, 130}, Case{SIGTERM, 143}}) {
    SCOPED_TRACE(c.signal);
    const ToolRun interrupted = RunTool(temp_, fresh, " sectors", c.signal);
    ASSERT_TRUE(interrupted.interrupted) << interrupted.err;
    ASSERT_EQ(interrupted.status, c.status) << interrupted.err;
    EXPECT_NE(interrupted.err.find("run the same command again"), std::string::npos);

    const ToolRun continued = RunTool(temp_, deep);
    ASSERT_EQ(continued.status, 0) << continued.err;
    EXPECT_NE(continued.err.find("continued the saved scan"), std::string::npos) << continued.err;
    const ToolRun uninterrupted = RunTool(temp_, fresh);
    ASSERT_EQ(uninterrupted.status, 0) << uninterrupted.err;
    EXPECT_EQ(uninterrupted.err.find("continued the saved scan"), std::string::npos);
    const std::string found = JsonSummary(temp_, uninterrupted.out);
    EXPECT_NE(found.find("!one.jpg 20000"), std::string::npos) << found;
    EXPECT_EQ(JsonSummary(temp_, continued.out), found);
  }
}

// On a terminal the progress line counts the sectors to the last one and
// claims no remaining time for a scan that is over at once; script(1) gives
// the tool its terminal.
TEST_F(CliFatCard, ProgressOnATerminalEstimatesNoTimeForAScanOverAtOnce) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script(1) is missing; the tool cannot be given a terminal";
  }
  const std::string command =
      ToolBinary().string() + " scan " + card_.string() + " --mode deep --fresh";
  std::string output;
  const int status = RunCapture("script -qec " + ShellQuote(command) + " /dev/null", &output);
  ASSERT_EQ(status, 0) << output;
  EXPECT_TRUE(std::regex_search(output, std::regex(R"(100%  (\d+)/\1 sectors)"))) << output;
  EXPECT_EQ(output.find(" left"), std::string::npos) << output;
  EXPECT_EQ(output.find("estimating"), std::string::npos) << output;
  EXPECT_NE(output.find(" files found."), std::string::npos) << output;
}

}  // namespace
}  // namespace vexlo::testing
