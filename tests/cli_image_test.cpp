// The built vexlo-recover run as a user runs it: `list`, `image`, and the
// exit statuses of usage errors, failures and Ctrl-C.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/display_format.h"
#include "tests/support/fat_image.h"
#include "tests/support/loop_device.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

void WriteRandomFile(const std::filesystem::path& path, std::size_t size) {
  std::mt19937 random(5);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(CliList, SucceedsAndJsonParses) {
  TempDir temp;
  const ToolRun table = RunTool(temp, {"list"});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_FALSE(table.out.empty());

  // JSON lines as `scan --json` prints them: one object per entry, then a
  // summary that counts them.
  const ToolRun json = RunTool(temp, {"list", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  std::ofstream(temp / "list.json") << json.out;
  const std::string check =
      "python3 -c 'import json,sys; rows=[json.loads(l) for l in open(sys.argv[1])]; "
      "assert rows[-1][\"summary\"][\"entries\"] == len(rows) - 1; "
      "assert all(\"source\" in r for r in rows[:-1])' '" +
      (temp / "list.json").string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0) << json.out;
}

// The list names a device as the desktop program does: its disk by kind,
// node and size, and the volume by node, label, file system and size,
// below the entry:N that selects it.
TEST(CliList, NamesDevicesByTheirNodesAndLabels) {
  TempDir temp;
  const std::filesystem::path image = temp / "card.img";
  ASSERT_EQ(MakeFatImage(image, {.fat_bits = 16, .size_kib = 16384}), "");
  ASSERT_EQ(Mtools(image, "mlabel", {"::CARD_LABEL"}), "");
  const LoopDevice loop(image);
  if (!loop.attached()) GTEST_SKIP() << loop.reason();
  const std::string device = loop.path().string();

  const ToolRun list = RunTool(temp, {"list"});
  ASSERT_EQ(list.status, 0) << list.err;
  std::istringstream lines(list.out);
  std::string disk_line;
  std::string volume_line;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  ")) {
      disk_line = line;
    } else if (line.find(" " + device + " · ") != std::string::npos) {
      volume_line = line;
      break;
    }
  }
  ASSERT_FALSE(volume_line.empty()) << list.out;
  const std::string size = catalogue::SizeText(16 << 20);
  EXPECT_NE(disk_line.find("isk (" + device + "), " + size), std::string::npos) << list.out;
  EXPECT_TRUE(volume_line.starts_with("  entry:")) << volume_line;
  EXPECT_NE(volume_line.find(device + " · CARD_LABEL · FAT · " + size), std::string::npos)
      << volume_line;
}

// Every command explains itself with -h and --help, on stdout with status 0,
// naming the options it takes; the program names its version and licence.
TEST(CliHelp, EveryCommandAndTheProgramAnswer) {
  TempDir temp;
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> named;
  };
  const std::vector<Case> cases = {
      {{"--help"}, {"vexlo-recover list", "vexlo-recover image", "143"}},
      {{"-h"}, {"vexlo-recover scan SOURCE"}},
      {{"help"}, {"vexlo-recover recover SOURCE --to DIR"}},
      {{"-V"}, {"vexlo-recover ", "GPL-3.0-or-later"}},
      {{"--version"}, {"NO WARRANTY"}},
      {{"list", "--help"}, {"vexlo-recover list", "SOURCE", "--json"}},
      {{"scan", "-h"}, {"vexlo-recover scan", "--mode", "--types", "--fresh", "--json"}},
      {{"recover", "--help"}, {"vexlo-recover recover", "--to", "--force", "--types"}},
      {{"image", "-h"}, {"vexlo-recover image", "TARGET", "--retries", "--timeout", "--fresh"}},
      // Help wins over a SOURCE or --to that is missing beside it.
      {{"recover", "/nonexistent.img", "--help"}, {"--to DIR"}},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(temp, c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const std::string& text : c.named)
      EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
  }
}

// Only whole sectors of an image file are copied, byte for byte, with a
// finished map beside the copy.
TEST(CliImage, CopiesAnImageFile) {
  TempDir temp;
  WriteRandomFile(temp / "card.img", (3 << 20) + 100);
  const ToolRun run =
      RunTool(temp, {"image", (temp / "card.img").string(), (temp / "copy.img").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string source = ReadText(temp / "card.img");
  EXPECT_EQ(ReadText(temp / "copy.img"), source.substr(0, 3 << 20));
  EXPECT_NE(run.out.find("Rescued 3.00 MB (6144 of 6144 sectors of 512 bytes)"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("copy.img.map"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("image: 100%, finished: rescued 3.00 MB, no bad areas"), std::string::npos)
      << run.err;
  EXPECT_NE(ReadText(temp / "copy.img.map").find("\n0x00000000  0x00300000  +\n"),
            std::string::npos);
}

TEST(CliUsage, MistakesInTheCommandLineExitWithTwo) {
  TempDir temp;
  const std::string target = (temp / "t.img").string();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list", "one", "two"},
      {"list", "--bogus"},
      {"list", "--json=yes"},
      {"image"},
      {"image", "only-source"},
      {"image", "a", "b", "c"},
      {"image", "entry:x", target},
      {"image", "entry:0", target},
      {"image", "a", target, "--retries"},
      {"image", "a", target, "--retries", "-1"},
      {"image", "a", target, "--timeout", "soon"},
      {"image", "a", target, "--fresh=yes"},
  };
  for (const auto& args : cases) {
    const ToolRun run = RunTool(temp, args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(no arguments)" : args[0]) << " "
                             << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(std::filesystem::exists(target));
  }
}

// Failures exit with 1 and name the source and the reason; nothing is
// written, and above all never the source itself.
TEST(CliImage, FailuresNameTheSourceAndWriteNothing) {
  TempDir temp;
  WriteRandomFile(temp / "card.img", 4096);
  const std::string card = (temp / "card.img").string();
  const std::string target = (temp / "t.img").string();
  struct Case {
    std::string source;
    std::string target;
    std::string message;
  };
  const std::vector<Case> cases = {
      {(temp / "missing.img").string(), target, "No such file or directory"},
      {temp.path().string(), target, "neither an image file nor a block device"},
      {"entry:60000", target, "no such entry"},
      {card, card, "lies on the source"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const ToolRun run = RunTool(temp, {"image", c.source, c.target});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.source), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(target));
  }
  EXPECT_EQ(std::filesystem::file_size(card), 4096u);
}

// Ctrl-C stops the copy cleanly: status 130, the map saved, and the way to
// go on named. The signal is sent once the first progress line shows the
// copy running; a 2 GiB sparse source cannot be copied before it arrives.
TEST(CliImage, InterruptSavesTheMapAndExits130) {
  TempDir temp;
  const std::filesystem::path source = temp / "big.img";
  std::ofstream(source).flush();
  std::filesystem::resize_file(source, uint64_t{2} << 30);
  const std::filesystem::path target = temp / "partial.img";

  const ToolRun run = RunTool(temp, {"image", source.string(), target.string()}, "image: ");
  ASSERT_TRUE(run.interrupted) << run.err;
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_NE(run.err.find("stopped"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("run the same command again to continue"), std::string::npos) << run.err;
  EXPECT_EQ(std::filesystem::file_size(target), uint64_t{2} << 30);
  const std::string map = ReadText(temp / "partial.img.map");
  EXPECT_NE(map.find("     ?               1\n"), std::string::npos) << map;
}

// A map that describes another medium is refused with a way out, and
// --fresh takes it.
TEST(CliImage, MapOfAnotherCopyIsRefusedUntilFresh) {
  TempDir temp;
  WriteRandomFile(temp / "card.img", 1 << 20);
  const std::string target = (temp / "copy.img").string();
  std::ofstream(target) << "older image";
  std::ofstream(target + ".map") << "0 + 1\n0 0x400 +\n";
  const ToolRun refused = RunTool(temp, {"image", (temp / "card.img").string(), target});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("is not the map of a copy"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--fresh"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadText(target), "older image");

  const ToolRun fresh = RunTool(temp, {"image", (temp / "card.img").string(), target, "--fresh"});
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_EQ(ReadText(target), ReadText(temp / "card.img"));
}

}  // namespace
}  // namespace vexlo::testing
