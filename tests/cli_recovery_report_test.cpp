// Recovering with the card's folders and times kept, and the report of the
// run: a tree of deleted files with spaces, umlauts and CJK in their names
// comes back as it was, with the times The Sleuth Kit reads from the card,
// and the report's hashes and byte runs hold against the written files and
// the image.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/card_image_test.h"
#include "tests/support/fat_image.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

struct CardItem {
  std::string path;      // on the card, from its root
  std::string modified;  // UTC
  std::vector<uint8_t> bytes = {};
};

const std::vector<CardItem>& CardFiles() {
  static const std::vector<CardItem> files = {
      {"Urlaub Grüße/Strand am Meer.jpg", "2021-07-14 16:20:42", JpegBytes(5000, 1)},
      {"Urlaub Grüße/日本 旅行/東京 タワー.jpg", "2020-02-28 23:59:58", JpegBytes(9000, 2)},
      {"Kamera/Tag 1/IMG 0001.JPG", "2019-12-31 12:00:00", JpegBytes(70000, 3)},
      {"Kamera/Tag 1/Übersicht.txt", "2018-05-06 07:08:10", PatternBytes(3000, 4)},
      {"Notizen ä.txt", "2017-01-02 03:04:06", PatternBytes(100, 5)},
  };
  return files;
}

// Deepest first: a folder's time is set after what is made inside it.
const std::vector<CardItem>& CardFolders() {
  static const std::vector<CardItem> folders = {
      {"Urlaub Grüße/日本 旅行", "2015-05-05 05:05:04"},
      {"Urlaub Grüße", "2014-04-04 04:04:04"},
      {"Kamera/Tag 1", "2013-03-03 03:03:02"},
      {"Kamera", "2016-06-06 06:06:06"},
  };
  return folders;
}

std::string Touch(const std::filesystem::path& path, const std::string& time) {
  std::string ignored;
  const std::string command = "TZ=UTC touch -d '" + time + "' " + ShellQuote(path.string());
  return RunCapture(command, &ignored) == 0 ? "" : "failed: " + command;
}

// The card: the tree made on the host with its times and copied over with
// them, then every file deleted, the holiday folder with them; Kamera stays.
std::string MakeCard(const TempDir& temp, const std::filesystem::path& card) {
  if (std::string made = MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}); !made.empty()) {
    return made;
  }
  const std::filesystem::path tree = temp / "tree";
  for (const CardItem& file : CardFiles()) {
    std::filesystem::create_directories((tree / file.path).parent_path());
    std::ofstream(tree / file.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()),
               static_cast<std::streamsize>(file.bytes.size()));
    if (std::string touched = Touch(tree / file.path, file.modified); !touched.empty()) {
      return touched;
    }
  }
  for (const CardItem& folder : CardFolders()) {
    if (std::string touched = Touch(tree / folder.path, folder.modified); !touched.empty()) {
      return touched;
    }
  }
  const std::vector<std::string> copy = {"-s",
                                         "-m",
                                         (tree / "Urlaub Grüße").string(),
                                         (tree / "Kamera").string(),
                                         (tree / "Notizen ä.txt").string(),
                                         "::/"};
  if (std::string copied = Mtools(card, "mcopy", copy); !copied.empty()) return copied;
  if (std::string gone = Mtools(card, "mdeltree", {"::/Urlaub Grüße"}); !gone.empty()) {
    return gone;
  }
  return Mtools(
      card, "mdel",
      {"::/Kamera/Tag 1/IMG 0001.JPG", "::/Kamera/Tag 1/Übersicht.txt", "::/Notizen ä.txt"});
}

struct SleuthTimes {
  int64_t accessed = 0;
  int64_t modified = 0;
  int64_t created = 0;
};

// Times by path (no leading "/"), deleted entries included, as fls's body
// file gives them; empty when fls is missing or fails.
std::map<std::string, SleuthTimes> FlsTimes(const std::filesystem::path& card) {
  std::string body;
  std::map<std::string, SleuthTimes> times;
  if (RunCapture("fls -r -p -m / -z UTC " + ShellQuote(card.string()) + " 2>/dev/null", &body) !=
      0) {
    return times;
  }
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '|');) fields.push_back(field);
    if (fields.size() < 11) continue;
    std::string path = fields[1].substr(1);
    if (const std::size_t mark = path.find(" (deleted)"); mark != std::string::npos) {
      path.erase(mark);
    }
    times[path] = {std::stoll(fields[7]), std::stoll(fields[8]), std::stoll(fields[10])};
  }
  return times;
}

std::string UtcText(int64_t seconds) {
  const std::time_t when = seconds;
  std::tm fields{};
  gmtime_r(&when, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields);
  return text;
}

struct stat StatOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  return ReadFileBytes(path, 0, std::filesystem::file_size(path));
}

nlohmann::json ReadJson(const std::filesystem::path& path) {
  return nlohmann::json::parse(ReadText(path), nullptr, false);
}

// Checks that the entry's byte runs lie in file order without overlap and
// read back from `image` the bytes of the written file; returns how many
// bytes they cover.
uint64_t RunBytesReadBack(const nlohmann::json& entry, const std::filesystem::path& image) {
  const std::vector<uint8_t> bytes = FileBytes(entry["recovered_path"].get<std::string>());
  uint64_t covered = 0;
  uint64_t end = 0;
  for (const nlohmann::json& byte_run : entry["byte_runs"]) {
    const uint64_t file_offset = byte_run["file_offset"];
    const uint64_t length = byte_run["length"];
    EXPECT_GE(file_offset, end) << "runs in file order";
    if (file_offset + length > bytes.size()) {
      ADD_FAILURE() << "a run past the file's end";
      return 0;
    }
    EXPECT_EQ(
        ReadFileBytes(image, byte_run["img_offset"], length),
        std::vector<uint8_t>(bytes.begin() + file_offset, bytes.begin() + file_offset + length));
    covered += length;
    end = file_offset + length;
  }
  return covered;
}

class CliRecoveryReport : public CardImageTest {
 protected:
  void SetUp() override { ASSERT_EQ(MakeCard(temp_, card_), ""); }

  ToolRun Recover(const std::filesystem::path& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"recover",    card_.string(), "--to",
                                     out.string(), "--mode",       "quick"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(temp_, args);
  }
};

TEST_F(CliRecoveryReport, KeptFoldersReproduceTheTreeWithTheCardsTimes) {
  const std::filesystem::path out = temp_ / "out";
  const ToolRun run = Recover(out, {"--keep-folders", "--keep-times"});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const std::filesystem::path tree = out / "card.img";
  // The times first: reading a file or listing a folder may move its access
  // time.
  std::map<std::string, struct stat> written;
  for (const auto* items : {&CardFiles(), &CardFolders()}) {
    for (const CardItem& item : *items) written[item.path] = StatOf(tree / item.path);
  }
  for (const CardItem& file : CardFiles()) {
    EXPECT_EQ(Sha256OfFile(tree / file.path), Sha256OfBytes(file.bytes)) << file.path << "\n"
                                                                         << run.out;
  }
  // The card's own times, as the host tree had them.
  for (const auto* items : {&CardFiles(), &CardFolders()}) {
    for (const CardItem& item : *items) {
      std::string expected = item.modified;
      expected[10] = 'T';
      EXPECT_EQ(UtcText(written[item.path].st_mtim.tv_sec), expected) << item.path;
    }
  }

  const std::map<std::string, SleuthTimes> sleuth = FlsTimes(card_);
  if (sleuth.empty()) GTEST_SKIP() << "fls (sleuthkit) is not installed or cannot read the card";
  for (const auto& [path, st] : written) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(sleuth.contains(path));
    EXPECT_EQ(st.st_mtim.tv_sec, sleuth.at(path).modified);
    EXPECT_EQ(st.st_atim.tv_sec, sleuth.at(path).accessed);
  }
  // Linux keeps no creation time: the report carries it.
  const nlohmann::json report = ReadJson(out / "report.json");
  ASSERT_FALSE(report.is_discarded());
  for (const nlohmann::json& entry : report["files"]) {
    const std::string path = entry["original_path"];
    SCOPED_TRACE(path);
    ASSERT_TRUE(sleuth.contains(path));
    ASSERT_TRUE(entry["created"].is_string());
    EXPECT_EQ(entry["created"].get<std::string>().substr(0, 19), UtcText(sleuth.at(path).created));
    EXPECT_EQ(entry["modified"].get<std::string>().substr(0, 19),
              UtcText(sleuth.at(path).modified));
  }
}

TEST_F(CliRecoveryReport, HashesAndByteRunsHoldAgainstTheFilesAndTheImage) {
  const std::filesystem::path out = temp_ / "out";
  const std::filesystem::path report_path = temp_ / "run.json";
  const ToolRun run = Recover(out, {"--report", report_path.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_FALSE(std::filesystem::exists(out / "report.json")) << "written where --report said";
  const nlohmann::json report = ReadJson(report_path);
  ASSERT_FALSE(report.is_discarded()) << ReadText(report_path);

  EXPECT_EQ(report["program"].get<std::string>().rfind("vexlo-recover ", 0), 0u);
  EXPECT_LE(report["started"].get<std::string>(), report["ended"].get<std::string>());
  ASSERT_EQ(report["sources"].size(), 1u);
  EXPECT_EQ(report["sources"][0]["name"], card_.string());
  EXPECT_EQ(report["sources"][0]["fingerprint"].get<std::string>().size(), 32u);

  std::map<std::string, std::vector<uint8_t>> expected;
  for (const CardItem& file : CardFiles()) expected[file.path] = file.bytes;
  ASSERT_EQ(report["files"].size(), expected.size());
  for (const nlohmann::json& entry : report["files"]) {
    const std::string path = entry["original_path"];
    SCOPED_TRACE(path);
    ASSERT_TRUE(expected.contains(path));
    EXPECT_EQ(entry["result"], "Success");
    EXPECT_EQ(entry["size"], expected[path].size());
    EXPECT_EQ(entry["bytes_written"], expected[path].size());
    EXPECT_EQ(entry["source"]["name"], card_.string());
    EXPECT_EQ(entry["deleted"], true);
    const std::filesystem::path written = entry["recovered_path"].get<std::string>();
    EXPECT_EQ(entry["sha256"], Sha256OfFile(written));
    std::string md5;
    ASSERT_EQ(RunCapture("md5sum " + ShellQuote(written.string()), &md5), 0);
    EXPECT_EQ(entry["md5"], md5.substr(0, 32));

    EXPECT_EQ(RunBytesReadBack(entry, card_), FileBytes(written).size());
  }
}

TEST_F(CliRecoveryReport, DfxmlParsesAndNamesEveryFile) {
  const std::filesystem::path out = temp_ / "out";
  const ToolRun run = Recover(out, {"--format", "dfxml"});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const std::filesystem::path xml = out / "report.xml";
  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "root = E.parse(sys.argv[1]).getroot()\n"
      "assert root.tag == 'dfxml' and root.find('creator/program') is not None\n"
      "assert root.find('source/image_filename').text.endswith('/card.img')\n"
      "for f in root.iter('fileobject'):\n"
      "    runs = [(int(r.get('img_offset')), int(r.get('len'))) for r in f.iter('byte_run')]\n"
      "    print(f.find('filename').text, f.find('filesize').text,\n"
      "          f.find(\"hashdigest[@type='sha256']\").text, len(runs) > 0, sep='|')\n";
  std::ofstream(temp_ / "check.py") << script;
  std::string listing;
  ASSERT_EQ(RunCapture("python3 " + ShellQuote((temp_ / "check.py").string()) + " " +
                           ShellQuote(xml.string()),
                       &listing),
            0)
      << ReadText(xml);
  for (const CardItem& file : CardFiles()) {
    const std::string line = file.path + "|" + std::to_string(file.bytes.size()) + "|" +
                             Sha256OfBytes(file.bytes) + "|True";
    EXPECT_NE(listing.find(line + "\n"), std::string::npos) << line << "\n" << listing;
  }
}

TEST_F(CliRecoveryReport, AFileThatCannotBeWrittenIsReportedWithItsReason) {
  const std::filesystem::path out = temp_ / "out";
  // A file where the kept Kamera folder must go.
  std::filesystem::create_directories(out / "card.img");
  std::ofstream(out / "card.img" / "Kamera") << "in the way";
  const ToolRun run = Recover(out, {"--keep-folders"});
  EXPECT_EQ(run.status, 1) << run.err << run.out;
  const nlohmann::json report = ReadJson(out / "report.json");
  ASSERT_FALSE(report.is_discarded());
  int failed = 0;
  for (const nlohmann::json& entry : report["files"]) {
    const std::string path = entry["original_path"];
    SCOPED_TRACE(path);
    if (path.rfind("Kamera/", 0) != 0) {
      EXPECT_EQ(entry["result"], "Success");
      continue;
    }
    ++failed;
    const std::string reason = entry["result"];
    EXPECT_NE(reason, "Success");
    EXPECT_NE(entry["error_code"], 0);
    EXPECT_TRUE(entry["sha256"].is_null()) << "nothing written, nothing hashed";
    EXPECT_EQ(entry["bytes_written"], 0);
    // The same words as the line the run printed for it.
    EXPECT_NE(run.out.find(": " + reason + "\n"), std::string::npos) << reason << run.out;
  }
  EXPECT_EQ(failed, 2);
}

using CliRecoveryReportNtfs = NtfsCardImageTest;

// On NTFS a small file's data lie inside its MFT record, whose sector ends
// the file system overwrote with its update sequence: the report names no
// byte run for them rather than a wrong one, and still hashes them.
TEST_F(CliRecoveryReportNtfs, RunsOfDataRunsReadBackAndResidentDataHaveNone) {
  const std::vector<uint8_t> large = PatternBytes(70000, 1);
  const std::vector<uint8_t> small = PatternBytes(300, 2);
  ASSERT_EQ(NtfsWriteFile(card_, "/large.pdf", large), "");
  ASSERT_EQ(NtfsWriteFile(card_, "/small.pdf", small), "");
  for (const char* name : {"/large.pdf", "/small.pdf"}) {
    ASSERT_EQ(DeleteNtfsFile(card_, name), "");
  }
  const std::filesystem::path out = temp_ / "out";
  const ToolRun run = RunTool(temp_, {"recover", card_.string(), "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const nlohmann::json report = ReadJson(out / "report.json");
  ASSERT_FALSE(report.is_discarded());
  std::map<std::string, nlohmann::json> entries;
  for (const nlohmann::json& entry : report["files"]) entries[entry["original_path"]] = entry;
  ASSERT_TRUE(entries.contains("large.pdf") && entries.contains("small.pdf")) << report.dump();
  EXPECT_EQ(entries["large.pdf"]["sha256"], Sha256OfBytes(large));
  EXPECT_EQ(RunBytesReadBack(entries["large.pdf"], card_), large.size());
  EXPECT_EQ(entries["small.pdf"]["sha256"], Sha256OfBytes(small));
  EXPECT_TRUE(entries["small.pdf"]["byte_runs"].empty()) << entries["small.pdf"].dump();
}

}  // namespace
}  // namespace vexlo::testing
