// The files-found count of vexlo-recover's progress line: whatever the file
// system, the mode and the type filter, the scan's last report counts the
// files the list then holds, neither the folders, the damaged pictures and
// the types the filter leaves out, nor a file that two engines both found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

constexpr ExFatStamp kStamp{0x56A63A85, 0, 0};

// The count of the last progress report in `progress`, -1 without one.
long long LastProgressCount(const std::string& progress) {
  static const std::regex kCount(R"((\d+) files?\b)");
  long long count = -1;
  for (auto it = std::sregex_iterator(progress.begin(), progress.end(), kCount);
       it != std::sregex_iterator(); ++it) {
    count = std::stoll((*it)[1]);
  }
  return count;
}

// N of the listing's closing "N files found.", -1 without one.
long long ListedCount(const std::string& listing) {
  std::smatch match;
  static const std::regex kFound(R"((\d+) files? found\.)");
  return std::regex_search(listing, match, kFound) ? std::stoll(match[1]) : -1;
}

// A FAT16 card with a kept photo, and a deleted photo, text, PNG and file of
// no known type; deleted from a folder, so that folders are kept as well.
std::string MakeFatCard(const std::filesystem::path& image) {
  if (std::string error = MakeFatImage(image, {.fat_bits = 16, .size_kib = 16384});
      !error.empty()) {
    return error;
  }
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"/DCIM/KEEP.JPG", JpegBytes(9000, 1)}, {"/DCIM/GONE.JPG", JpegBytes(20000, 2)},
      {"/NOTES.TXT", PatternBytes(3000, 3)},  {"/DCIM/SHOT.PNG", PatternBytes(4000, 4)},
      {"/DATA.XYZ", PatternBytes(2000, 5)},
  };
  if (std::string error = Mtools(image, "mmd", {"::/DCIM"}); !error.empty()) return error;
  for (const auto& [path, bytes] : files) {
    if (std::string error = FatWriteFile(image, path, bytes); !error.empty()) {
      return error;
    }
  }
  return Mtools(image, "mdel",
                {"::/DCIM/GONE.JPG", "::/NOTES.TXT", "::/DCIM/SHOT.PNG", "::/DATA.XYZ"});
}

std::string MakeExFatCard(const std::filesystem::path& image) {
  ExFatImage card;
  if (std::string error = card.Format(image, 32, 4096); !error.empty()) return error;
  const uint32_t root = card.root();
  const auto dcim = card.AddFolder(root, u"DCIM", kStamp);
  std::vector<ExFatItem> deleted = {
      card.AddFile(dcim.first_cluster(), u"IMG_0001.JPG", JpegBytes(30000, 6),
                   ExFatLayout::kContiguous, kStamp),
      card.AddFile(root, u"letter.txt", PatternBytes(7000, 7), ExFatLayout::kChained, kStamp),
      card.AddFile(root, u"IMG_0002.JPG", JpegBytes(12000, 8), ExFatLayout::kFragmented, kStamp),
  };
  card.AddFile(root, u"keep.txt", PatternBytes(5000, 9), ExFatLayout::kChained, kStamp);
  for (const ExFatItem& item : deleted) card.Delete(item);
  card.Delete(dcim);
  return card.Save();
}

std::string MakeNtfsVolume(const std::filesystem::path& image) {
  if (std::string error = MakeNtfsImage(image, 16 << 20); !error.empty()) return error;
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"/kept.pdf", PatternBytes(5000, 1)},
      {"/lost.pdf", PatternBytes(7000, 2)},
      {"/lost.jpg", JpegBytes(9000, 3)},
      {"/notes.txt", PatternBytes(3000, 4)},
  };
  for (const auto& [path, bytes] : files) {
    if (std::string error = NtfsWriteFile(image, path, bytes); !error.empty()) {
      return error;
    }
  }
  for (const char* path : {"/lost.pdf", "/lost.jpg", "/notes.txt"}) {
    if (std::string error = DeleteNtfsFile(image, path); !error.empty()) return error;
  }
  return "";
}

struct Case {
  const char* name;
  std::function<std::string(const std::filesystem::path&)> make;
  const char* mode;
  std::vector<std::string> choice;  // the options that choose some files
  bool needs_ntfs_tools = false;
};

TEST(CliProgressCount, LastReportCountsWhatTheListHolds) {
  const Case cases[] = {
      {"FAT quick, photos", MakeFatCard, "quick", {"--types", "jpg,png"}},
      {"FAT quick, other types", MakeFatCard, "quick", {"--types", "other"}},
      {"FAT deep, JPEG", MakeFatCard, "deep", {"--types", "jpg"}},
      {"exFAT quick, JPEG", MakeExFatCard, "quick", {"--types", "jpg"}},
      {"exFAT deep, documents", MakeExFatCard, "deep", {"--types", "document"}},
      {"NTFS quick, PDF", MakeNtfsVolume, "quick", {"--types", "pdf"}, true},
      {"NTFS deep, photos", MakeNtfsVolume, "deep", {"--types", "photo"}, true},
      // The choosing options that the stored record decides narrow the
      // count as they narrow the list.
      {"FAT quick, at least 8k", MakeFatCard, "quick", {"--min-size", "8k"}},
      {"FAT deep, at most 5k", MakeFatCard, "deep", {"--max-size", "5k"}},
      {"exFAT quick, by name", MakeExFatCard, "quick", {"--name", "IMG_*"}},
      {"exFAT deep, by name", MakeExFatCard, "deep", {"--name", "*.txt"}},
      {"exFAT quick, modified before", MakeExFatCard, "quick", {"--before", "2000-01-01"}},
      {"NTFS quick, by name", MakeNtfsVolume, "quick", {"--name", "lost.*"}, true},
      {"NTFS deep, at least 6k", MakeNtfsVolume, "deep", {"--min-size", "6k"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_ntfs_tools && !NtfsToolsAvailable()) continue;
    TempDir temp;
    ScopedDataHome data_home(temp / "data");
    const std::filesystem::path image = temp / "card.img";
    ASSERT_EQ(c.make(image), "");

    const ToolRun all = RunTool(temp, {"scan", image.string(), "--mode", c.mode, "--fresh"});
    ASSERT_EQ(all.status, 0) << all.err;
    std::vector<std::string> args = {"scan", image.string(), "--mode", c.mode, "--fresh"};
    args.insert(args.end(), c.choice.begin(), c.choice.end());
    const ToolRun some = RunTool(temp, args);
    ASSERT_EQ(some.status, 0) << some.err;
    const long long listed = ListedCount(some.out);
    ASSERT_GE(listed, 0) << some.out;
    EXPECT_LT(listed, ListedCount(all.out)) << "the filter must leave files out\n" << all.out;
    EXPECT_EQ(LastProgressCount(some.err), listed) << some.err << some.out;
    EXPECT_EQ(LastProgressCount(all.err), ListedCount(all.out)) << all.err << all.out;
  }
}

// What only the listing can tell, the content check and the folders a path
// pattern names, leaves the count out rather than show one that the list
// then contradicts.
TEST(CliProgressCount, NoCountWhereTheScanCannotTellTheChosenFiles) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path image = temp / "card.img";
  ASSERT_EQ(MakeFatCard(image), "");
  const std::vector<std::string> choices[] = {{"--intact-only"}, {"--name", "DCIM/*"}};
  for (const std::vector<std::string>& choice : choices) {
    SCOPED_TRACE(choice[0]);
    for (const char* mode : {"quick", "deep"}) {
      SCOPED_TRACE(mode);
      std::vector<std::string> args = {"scan", image.string(), "--mode", mode, "--fresh"};
      args.insert(args.end(), choice.begin(), choice.end());
      const ToolRun run = RunTool(temp, args);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_GT(ListedCount(run.out), 0) << run.out;
      EXPECT_EQ(LastProgressCount(run.err), -1) << run.err;
    }
  }
}

// On a terminal the line is redrawn in place; its last state, left on the
// screen, holds the count the list ends with. script(1) gives the tool its
// terminal.
TEST(CliProgressCount, LastLineOnATerminalCountsWhatTheListHolds) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script(1) is missing; the tool cannot be given a terminal";
  }
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path image = temp / "card.img";
  ASSERT_EQ(MakeFatCard(image), "");
  for (const char* mode : {"quick", "deep"}) {
    SCOPED_TRACE(mode);
    const std::string command =
        ToolBinary().string() + " scan " + image.string() + " --types jpg --fresh --mode " + mode;
    std::string output;
    const int status = RunCapture("script -qec " + ShellQuote(command) + " /dev/null", &output);
    ASSERT_EQ(status, 0) << output;
    // Every redraw starts with a carriage return and ends by clearing the
    // rest of the line.
    const std::size_t line_end = output.rfind("\033[K");
    ASSERT_NE(line_end, std::string::npos) << output;
    const std::size_t redraw = output.rfind('\r', line_end);
    ASSERT_NE(redraw, std::string::npos) << output;
    const std::string last_line = output.substr(redraw + 1, line_end - redraw - 1);
    const long long listed = ListedCount(output);
    ASSERT_GT(listed, 0) << output;
    EXPECT_EQ(LastProgressCount(last_line), listed) << last_line << "\n" << output;
  }
}

}  // namespace
}  // namespace vexlo::testing
