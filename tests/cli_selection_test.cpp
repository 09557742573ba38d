// Choosing what to list and recover: each selection option alone and with
// others, at its boundaries, on a card whose deleted files differ in name,
// folder, size, time and content check; and `recover --from` with the lines
// of `scan --json`, from two partitions of one card, with a line the scan does
// not have, and through a pipe.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/card_image_test.h"
#include "tests/support/disk_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

// "path/name" per listed file, sorted.
std::string Listed(const TempDir& temp, const std::string& json) {
  return JsonLines(temp, json, "r[\"path\"]+r[\"name\"]");
}

// "category/name size" per file below `dir`, sorted.
// The recovered files below `dir`, the run's own report left out.
std::string Written(const std::filesystem::path& dir) {
  std::map<std::string, uintmax_t> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec)) {
    if (entry.is_regular_file() && entry.path() != dir / "report.json") {
      files[entry.path().lexically_relative(dir).string()] = entry.file_size();
    }
  }
  std::string text;
  for (const auto& [name, size] : files) text += name + " " + std::to_string(size) + "\n";
  return text;
}

struct CardFile {
  std::string fat_path;
  std::vector<uint8_t> bytes;
  std::string time;
};

// Writes the files onto a FAT image and deletes them again.
void WriteDeletedFiles(const std::filesystem::path& image, const std::vector<CardFile>& files) {
  for (const CardFile& file : files) {
    ASSERT_EQ(FatWriteFile(image, file.fat_path, file.bytes, file.time), "");
  }
  for (const CardFile& file : files) {
    ASSERT_EQ(Mtools(image, "mdel", {"::" + file.fat_path}), "");
  }
}

// A 64 MiB FAT32 card: three deleted photos around 10 KiB in two folders,
// around the first of May 2024, a text and a PDF whose contents fail its
// type's test. The times are those FAT keeps (two-second steps).
class CliSelection : public CardImageTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(MakeFatImage(card_, {.fat_bits = 32, .size_kib = 65536}), "");
    ASSERT_EQ(Mtools(card_, "mmd", {"::/DCIM", "::/DCIM/100CANON", "::/Holiday"}), "");
    ASSERT_NO_FATAL_FAILURE(WriteDeletedFiles(card_, files_));
  }

  const std::vector<uint8_t>& BytesOf(const std::string& fat_path) const {
    for (const CardFile& file : files_) {
      if (file.fat_path == fat_path) return file.bytes;
    }
    static const std::vector<uint8_t> kNone;
    return kNone;
  }

  std::vector<CardFile> files_ = {
      {"/DCIM/100CANON/Photo 0001.jpg", JpegBytes(20000, 1), "2024-05-01 10:30:00"},
      {"/DCIM/100CANON/Photo 0002.jpg", JpegBytes(10240, 2), "2024-05-02 00:00:00"},
      {"/Holiday/Beach Day.jpg", JpegBytes(10239, 3), "2024-04-30 23:59:58"},
      {"/Notes.txt", PatternBytes(5000, 4), "2024-05-03 12:00:00"},
      {"/Broken.pdf", PatternBytes(4000, 5), "2024-05-01 08:00:00"},
  };
};

constexpr const char* kPhoto1 = "dcim/100canon/Photo 0001.jpg\n";
constexpr const char* kPhoto2 = "dcim/100canon/Photo 0002.jpg\n";
constexpr const char* kBeach = "Holiday/Beach Day.jpg\n";
constexpr const char* kNotes = "Notes.txt\n";
constexpr const char* kBroken = "Broken.pdf\n";

TEST_F(CliSelection, EachFilterAloneAndTogetherKeepsItsFiles) {
  struct Case {
    std::vector<std::string> options;
    std::vector<const char*> kept;  // in the sorted order Listed gives
  };
  const std::vector<Case> cases = {
      {{}, {kBroken, kBeach, kNotes, kPhoto1, kPhoto2}},
      {{"--name", "*.JPG"}, {kBeach, kPhoto1, kPhoto2}},
      {{"--name", "photo*", "--name", "*.txt"}, {kNotes, kPhoto1, kPhoto2}},
      {{"--name", "P?oto 000[2-9].jpg"}, {kPhoto2}},
      {{"--name", "DCIM/*"}, {kPhoto1, kPhoto2}},
      {{"--name", "/holiday/*.jpg"}, {kBeach}},
      // Without "/" the folders do not count.
      {{"--name", "*canon*"}, {}},
      // A file of exactly the bound is kept, one byte less is not.
      {{"--min-size", "10240"}, {kPhoto1, kPhoto2}},
      {{"--min-size", "10k"}, {kPhoto1, kPhoto2}},
      {{"--max-size", "10239"}, {kBroken, kBeach, kNotes}},
      {{"--min-size", "10k", "--max-size", "10K"}, {kPhoto2}},
      {{"--after", "2024-05-01"}, {kBroken, kNotes, kPhoto1, kPhoto2}},
      // A date as the upper bound keeps that whole day.
      {{"--before", "2024-05-01"}, {kBroken, kBeach, kPhoto1}},
      {{"--after", "2024-05-01T10:30", "--before", "2024-05-02"}, {kPhoto1, kPhoto2}},
      {{"--after", "2024-05-01T10:30:01"}, {kNotes, kPhoto2}},
      {{"--before", "2024-04-30T23:59:58"}, {kBeach}},
      {{"--intact-only"}, {kBeach, kNotes, kPhoto1, kPhoto2}},
      {{"--deleted-only"}, {kBroken, kBeach, kNotes, kPhoto1, kPhoto2}},
      {{"--name", "*.jpg", "--min-size", "10k", "--before", "2024-05-01"}, {kPhoto1}},
      {{"--name", "*.pdf", "--intact-only"}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"scan", card_.string(), "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string expected;
    for (const char* line : c.kept) expected += line;
    SCOPED_TRACE(::testing::PrintToString(c.options));
    const ToolRun run = RunTool(temp_, args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Listed(temp_, run.out), expected);
    EXPECT_NE(run.out.find("{\"summary\":{\"files\":" + std::to_string(c.kept.size()) + ","),
              std::string::npos)
        << run.out;
  }
}

TEST_F(CliSelection, TheListingAndTheRecoveryHoldOnlyTheChosenFiles) {
  const std::vector<std::string> choice = {"--name", "*.jpg", "--min-size", "10k"};
  std::vector<std::string> scan = {"scan", card_.string()};
  scan.insert(scan.end(), choice.begin(), choice.end());
  const ToolRun listing = RunTool(temp_, scan);
  ASSERT_EQ(listing.status, 0) << listing.err;
  EXPECT_NE(listing.out.find("photo (2)\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("\n2 files found.\n"), std::string::npos) << listing.out;
  EXPECT_EQ(listing.out.find("Beach"), std::string::npos) << listing.out;

  const std::filesystem::path out = temp_ / "out";
  std::vector<std::string> recover = {"recover", card_.string(), "--to", out.string()};
  recover.insert(recover.end(), choice.begin(), choice.end());
  const ToolRun run = RunTool(temp_, recover);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("Finished 2 of 2 files: 2 written, 0 failed"), std::string::npos)
      << run.out;
  EXPECT_EQ(Written(out), "photo/Photo 0001.jpg 20000\nphoto/Photo 0002.jpg 10240\n");
  EXPECT_EQ(Sha256OfFile(out / "photo" / "Photo 0001.jpg"),
            Sha256OfBytes(BytesOf("/DCIM/100CANON/Photo 0001.jpg")));
}

TEST_F(CliSelection, DeletedOnlyLeavesOutWhatOnlyCarvingFound) {
  // A picture without any directory entry, in the free space.
  std::string ignored;
  const std::filesystem::path red = temp_ / "red.jpg";
  if (RunCapture("convert -size 64x48 xc:red " + ShellQuote(red.string()) + " 2>&1", &ignored) !=
      0) {
    GTEST_SKIP() << "ImageMagick not available";
  }
  const std::vector<uint8_t> picture = ReadFileBytes(red, 0, 1 << 16);
  WriteFileBytes(card_, uint64_t{40} << 20, picture);

  const ToolRun all = RunTool(temp_, {"scan", card_.string(), "--mode", "deep", "--json"});
  ASSERT_EQ(all.status, 0) << all.err;
  const std::string carved = "81920.jpg " + std::to_string(picture.size()) + " False\n";
  const std::string row = "\"%s %d %s\" % (r[\"name\"],r[\"size\"],r[\"deleted\"])";
  EXPECT_NE(JsonLines(temp_, all.out, row).find(carved), std::string::npos) << all.out;

  const ToolRun deleted =
      RunTool(temp_, {"scan", card_.string(), "--mode", "deep", "--json", "--deleted-only"});
  ASSERT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(Listed(temp_, deleted.out), std::string(kBroken) + kBeach + kNotes + kPhoto1 + kPhoto2);
}

TEST_F(CliSelection, ValuesThatMeanNothingAreUsageErrors) {
  struct Case {
    std::vector<std::string> options;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--min-size", "5q"}, "--min-size: '5q' is not a size"},
      {{"--max-size", "-1"}, "--max-size"},
      {{"--min-size", "1.5M"}, "is not a size"},
      {{"--after", "2024-13-01"}, "--after: '2024-13-01' is not a date"},
      {{"--before", "yesterday"}, "--before: 'yesterday' is not a date"},
      {{"--name", ""}, "--name: needs a pattern"},
      {{"--min-size", "2k", "--max-size", "1k"}, "--min-size 2k is above --max-size 1k"},
      {{"--after", "2024-05-02", "--before", "2024-05-01"}, "is later than --before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    for (const std::string command : {"scan", "recover"}) {
      std::vector<std::string> args = {command, card_.string()};
      if (command == "recover") args.insert(args.end(), {"--to", (temp_ / "out").string()});
      args.insert(args.end(), c.options.begin(), c.options.end());
      const ToolRun run = RunTool(temp_, args);
      EXPECT_EQ(run.status, 2) << command;
      EXPECT_NE(run.err.find(c.message), std::string::npos) << command << ": " << run.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(temp_ / "out"));
}

// The lines of a scan's JSON whose name is one of `names`, as they came.
std::string LinesNaming(const std::string& json, const std::vector<std::string>& names) {
  std::string lines;
  for (std::size_t at = 0, end = 0; at < json.size(); at = end + 1) {
    end = json.find('\n', at);
    const std::string line = json.substr(at, end - at);
    for (const std::string& name : names) {
      if (line.find("\"name\":\"" + name + "\"") != std::string::npos) lines += line + "\n";
    }
    if (end == std::string::npos) break;
  }
  return lines;
}

// A card of two partitions, FAT32 and FAT16, each with deleted files.
class CliRecoverFrom : public CardImageTest {
 protected:
  void SetUp() override {
    const std::filesystem::path first = temp_ / "first.img";
    ASSERT_EQ(MakeFatImage(first, {.fat_bits = 32, .size_kib = 49152}), "");
    ASSERT_EQ(Mtools(first, "mmd", {"::/DCIM"}), "");
    ASSERT_NO_FATAL_FAILURE(
        WriteDeletedFiles(first, {{"/DCIM/First Photo.jpg", first_photo_, kFatTestFileTime},
                                  {"/Left Out.txt", PatternBytes(3000, 7), kFatTestFileTime}}));
    const std::filesystem::path second = temp_ / "second.img";
    ASSERT_EQ(MakeFatImage(second, {.fat_bits = 16, .size_kib = 16384}), "");
    ASSERT_NO_FATAL_FAILURE(
        WriteDeletedFiles(second, {{"/Second Notes.txt", second_notes_, kFatTestFileTime},
                                   {"/Big Photo.jpg", big_photo_, kFatTestFileTime}}));
    ASSERT_EQ(MakeDiskImage(card_, 80,
                            "label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=6"),
              "");
    ASSERT_EQ(PlaceVolume(card_, first, 2048), "");
    ASSERT_EQ(PlaceVolume(card_, second, 100352), "");
    const ToolRun scan = RunTool(temp_, {"scan", card_.string(), "--json"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    scan_json_ = scan.out;
    ASSERT_EQ(JsonLines(temp_, scan_json_, "\"%s %s\" % (r[\"source\"],r[\"name\"])"),
              card_.string() + ":1 First Photo.jpg\n" + card_.string() + ":1 Left Out.txt\n" +
                  card_.string() + ":2 Big Photo.jpg\n" + card_.string() + ":2 Second Notes.txt\n");
  }

  ToolRun RecoverFrom(const std::string& list, const std::vector<std::string>& more = {}) {
    const std::filesystem::path file = temp_ / "chosen.json";
    std::ofstream(file, std::ios::binary) << list;
    std::vector<std::string> args = {"recover",     card_.string(), "--to",
                                     out_.string(), "--from",       file.string()};
    args.insert(args.end(), more.begin(), more.end());
    return RunTool(temp_, args);
  }

  std::filesystem::path out_ = temp_ / "out";
  std::vector<uint8_t> first_photo_ = JpegBytes(15000, 11);
  std::vector<uint8_t> second_notes_ = PatternBytes(2500, 12);
  std::vector<uint8_t> big_photo_ = JpegBytes(40000, 13);
  std::string scan_json_;
};

TEST_F(CliRecoverFrom, RecoversTheListedFilesOfBothPartitions) {
  const ToolRun run = RecoverFrom(LinesNaming(scan_json_, {"First Photo.jpg", "Second Notes.txt"}));
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Written(out_), "document/Second Notes.txt 2500\nphoto/First Photo.jpg 15000\n");
  EXPECT_EQ(Sha256OfFile(out_ / "photo" / "First Photo.jpg"), Sha256OfBytes(first_photo_));
  EXPECT_EQ(Sha256OfFile(out_ / "document" / "Second Notes.txt"), Sha256OfBytes(second_notes_));
}

TEST_F(CliRecoverFrom, FiltersNarrowTheList) {
  const ToolRun run =
      RecoverFrom(LinesNaming(scan_json_, {"First Photo.jpg", "Second Notes.txt", "Big Photo.jpg"}),
                  {"--name", "*.jpg", "--max-size", "20k"});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Written(out_), "photo/First Photo.jpg 15000\n");
}

TEST_F(CliRecoverFrom, ALineTheScanLacksWritesNothing) {
  const std::string known = LinesNaming(scan_json_, {"First Photo.jpg"});
  struct Case {
    std::string what;
    std::string list;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"unknown record",
       known + "{\"name\":\"Ghost.jpg\",\"source_id\":32768,\"record_number\":999,\"fs_kind\":1}\n",
       "chosen.json, line 2 (Ghost.jpg): no such file in this scan (source 32768, record 999)"},
      {"unknown source", "\n" + known + "{\"source_id\":7,\"record_number\":1}\n",
       "chosen.json, line 3: no such file in this scan (source 7, record 1)"},
      {"not JSON", known + "First Photo.jpg\n", "chosen.json, line 2: not a JSON object"},
      {"no record number", known + "{\"name\":\"x\",\"source_id\":32768}\n",
       "chosen.json, line 2: the object has no source_id and record_number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun run = RecoverFrom(c.list);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out_)) << "something was written";
  }
}

TEST_F(CliRecoverFrom, TakesAScanThroughAPipe) {
  const std::string tool = ShellQuote(ToolBinary().string());
  const std::string card = ShellQuote(card_.string());
  // Objects spread over lines, as jq prints them without -c.
  const std::string pick =
      "python3 -c 'import json,sys\n"
      "for line in sys.stdin:\n"
      "  r=json.loads(line)\n"
      "  if r.get(\"size\",0)>10000: print(json.dumps(r,indent=2))'";
  const std::string command = tool + " scan " + card + " --json 2>/dev/null | " + pick + " | " +
                              tool + " recover " + card + " --to " + ShellQuote(out_.string()) +
                              " --from -";
  const ToolRun run = RunProgram(temp_, "/bin/sh", {"-c", command});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Written(out_), "photo/Big Photo.jpg 40000\nphoto/First Photo.jpg 15000\n");
}

}  // namespace
}  // namespace vexlo::testing
