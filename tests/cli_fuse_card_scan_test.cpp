// Deep scans of cards served through FUSE as real files.
//
// Ctrl-C during a deep scan at many places of a card, then the same command
// again: what the continued recovery writes is what one uninterrupted
// recovery writes, file by file and byte by byte. The card holds the scan's
// read of a chosen sector while the signal comes, so each stop lands where
// the table says rather than where timing puts it.
//
// A card whose chosen sectors fail with EIO: every file outside the bad
// sectors is found as on a sound copy of the card, and the scan says how
// many sectors it passed over, exactly, in its text and as the summary
// closing its JSON.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "carving/test_samples.h"
#include "tests/support/fat_image.h"
#include "tests/support/fuse_card.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

namespace samples = carving::samples;

constexpr uint64_t kSector = 512;
constexpr uint64_t kCardSectors = 8192;
// The scan reads 1 MiB at a time.
constexpr uint64_t kChunkSectors = 2048;
// Reads this long come from the walk only, not from the probes before it.
constexpr const char* kWalkRead = "65536";

// "path size sha256" of every recovered file under `folder`, one line each,
// sorted. The run's report is left out: it tells when the run was.
std::string Written(const std::filesystem::path& folder) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
    if (!entry.is_regular_file() || entry.path() == folder / "report.json") continue;
    lines.push_back(entry.path().lexically_relative(folder).string() + " " +
                    std::to_string(entry.file_size()) + " " + Sha256OfFile(entry.path()));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The first sector and the size of every file a deep scan of `image` lists.
std::vector<std::pair<uint64_t, uint64_t>> FoundExtents(const TempDir& temp,
                                                        const std::filesystem::path& image) {
  const ToolRun run = RunTool(temp, {"scan", image.string(), "--mode", "deep", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string lines =
      JsonLines(temp, run.out, "\"%d %d\" % (r[\"entry_sector\"], r[\"size\"])");
  std::vector<std::pair<uint64_t, uint64_t>> extents;
  std::istringstream in(lines);
  for (uint64_t sector = 0, size = 0; in >> sector >> size;) extents.emplace_back(sector, size);
  std::sort(extents.begin(), extents.end());
  return extents;
}

class CliInterruptedScan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = FuseCard::UnavailableReason(); !reason.empty()) {
      GTEST_SKIP() << reason;
    }
    // Files of many formats, some longer than the stretch one read takes,
    // in random bytes and zeros.
    samples::Medium medium = samples::MakeVariedMedium(kCardSectors, 35);
    samples::WriteImage(backing_, medium.bytes());
    const std::filesystem::path whole = temp_ / "whole";
    const ToolRun run =
        RunTool(temp_, {"recover", backing_.string(), "--mode", "deep", "--to", whole.string()});
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    whole_ = Written(whole);
    extents_ = FoundExtents(temp_, backing_);
    ASSERT_GE(extents_.size(), 10u) << whole_;
  }

  TempDir temp_;
  ScopedDataHome data_home_{temp_ / "data"};
  std::filesystem::path backing_ = temp_ / "backing.img";
  std::string whole_;
  std::vector<std::pair<uint64_t, uint64_t>> extents_;
};

TEST_F(CliInterruptedScan, EveryStopContinuesToTheUninterruptedResult) {
  // Where the walk's own reads stop: at the last and the first sector of a
  // chunk, and in the middle of one.
  std::vector<uint64_t> stops = {kChunkSectors - 1, kChunkSectors, 2 * kChunkSectors + 700,
                                 3 * kChunkSectors - 1};
  // Where the measuring of a file stops: in the middle and near the end of
  // every third file that spans several sectors.
  for (std::size_t i = 0; i < extents_.size(); i += 3) {
    const auto [first, size] = extents_[i];
    const uint64_t sectors = (size + kSector - 1) / kSector;
    if (sectors < 4 || first + sectors >= kCardSectors) continue;
    stops.push_back(first + sectors / 2);
    stops.push_back(first + sectors - 2);
  }
  std::sort(stops.begin(), stops.end());
  stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
  ASSERT_GE(stops.size(), 8u);

  for (const uint64_t stop : stops) {
    SCOPED_TRACE("Ctrl-C while sector " + std::to_string(stop) + " is read");
    FuseCard card(temp_, backing_,
                  {"--hold", std::to_string(stop * kSector) + ":512", "--arm-after", kWalkRead});
    ASSERT_TRUE(card.mounted());
    const std::filesystem::path out = temp_ / ("out" + std::to_string(stop));
    const std::vector<std::string> recover = {"recover", card.path().string(), "--mode", "deep",
                                              "--to",    out.string()};
    const ToolRun cut = RunToolAlongside(temp_, recover, [&card](pid_t pid) {
      const bool held = card.WaitUntilHeld(1);
      if (held) ::kill(pid, SIGINT);
      card.Release();
      return held;
    });
    ASSERT_TRUE(cut.interrupted) << "the scan never read the sector\n" << cut.err;
    ASSERT_EQ(cut.status, 130) << cut.err << cut.out;

    const ToolRun rest = RunTool(temp_, recover);
    ASSERT_EQ(rest.status, 0) << rest.err << rest.out;
    EXPECT_NE(rest.err.find("continued the saved scan"), std::string::npos) << rest.err;
    EXPECT_EQ(Written(out), whole_);
  }
}

struct BadArea {
  uint64_t first_sector;
  uint64_t sectors;
};

// Files with clean ends in zeros, so that their lengths do not depend on
// what lies behind them.
samples::Medium CardWithFiles() {
  samples::Medium medium(6144);
  medium.Place(100, samples::MakeJpeg(40'000, true));
  medium.Place(400, samples::MakeWav(20'000));
  medium.Place(1200, samples::MakePdf(30'000, "\n"));
  medium.Place(2100, samples::MakeJpeg(200'000, true));
  medium.Place(3000, samples::MakeZip(50'000));
  medium.Place(4500, samples::MakeMp3(60'000, true));
  return medium;
}

// "path+name size first-sector" of every file a `scan --json` output lists.
std::string Listing(const TempDir& temp, const std::string& json) {
  return JsonLines(temp, json,
                   "\"%s%s %d %d\" % (r[\"path\"], r[\"name\"], r[\"size\"], "
                   "r[\"entry_sector\"])");
}

// The unreadable-sector count of the summary that closes a `scan --json`
// output, or "no summary".
std::string SummaryCount(const TempDir& temp, const std::string& json) {
  std::ofstream(temp / "summary.json") << json;
  std::string count;
  const int status = RunCapture(
      "python3 -c 'import json,sys\n"
      "rows=[json.loads(l) for l in open(sys.argv[1]) if l.strip()]\n"
      "print(rows[-1][\"summary\"][\"unreadable_sectors\"], end=\"\")' " +
          ShellQuote((temp / "summary.json").string()),
      &count);
  return status == 0 ? count : "no summary";
}

TEST(CliFailingCard, DeepScanSkipsExactlyTheBadSectorsAndFindsEveryOtherFile) {
  if (const std::string reason = FuseCard::UnavailableReason(); !reason.empty()) {
    GTEST_SKIP() << reason;
  }
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path backing = temp / "card.img";
  samples::Medium medium = CardWithFiles();
  samples::WriteImage(backing, medium.bytes());
  const ToolRun sound = RunTool(temp, {"scan", backing.string(), "--mode", "deep", "--json"});
  ASSERT_EQ(sound.status, 0) << sound.err;
  const std::string everything = Listing(temp, sound.out);
  ASSERT_EQ(std::count(everything.begin(), everything.end(), '\n'), 6) << everything;

  struct Case {
    std::string name;
    std::vector<BadArea> bad;
    std::string said;
  };
  const std::vector<Case> cases = {
      {"one lone sector", {{300, 1}}, "1 unreadable sector was skipped."},
      // Across the end of the walk's first 1 MiB read, and short areas
      // right before and after files.
      {"areas between files",
       {{2020, 60}, {99, 1}, {1000, 3}, {2999, 1}, {5000, 100}},
       "165 unreadable sectors were skipped."},
      {"more than a thousand", {{3200, 1100}}, "1,100 unreadable sectors were skipped."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options;
    uint64_t count = 0;
    for (const BadArea& area : c.bad) {
      options.push_back("--bad");
      options.push_back(std::to_string(area.first_sector * kSector) + ":" +
                        std::to_string(area.sectors * kSector));
      count += area.sectors;
    }
    FuseCard card(temp, backing, options);
    ASSERT_TRUE(card.mounted());
    const std::vector<std::string> scan = {"scan", card.path().string(), "--mode", "deep"};

    const ToolRun text = RunTool(temp, scan);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.err.find("vexlo-recover: " + c.said), std::string::npos) << text.err;

    std::vector<std::string> json_scan = scan;
    json_scan.push_back("--json");
    const ToolRun json = RunTool(temp, json_scan);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(Listing(temp, json.out), everything);
    EXPECT_EQ(SummaryCount(temp, json.out), std::to_string(count)) << json.out;
  }
}

}  // namespace
}  // namespace vexlo::testing
