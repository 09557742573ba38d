// A deep scan of a card whose chosen sectors fail with EIO (a FUSE server
// serves it as a real file): every file outside the bad sectors is found as
// on a sound copy of the card, and the scan says how many sectors it passed
// over, exactly, in its text and as the summary closing its JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "carving/test_samples.h"
#include "tests/support/fat_image.h"
#include "tests/support/fuse_card.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using testing::FuseCard;
using testing::RunTool;
using testing::ScopedDataHome;
using testing::TempDir;
using testing::ToolRun;

constexpr uint64_t kSector = 512;

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
  return testing::JsonLines(temp, json,
                            "\"%s%s %d %d\" % (r[\"path\"], r[\"name\"], r[\"size\"], "
                            "r[\"entry_sector\"])");
}

// The unreadable-sector count of the summary that closes a `scan --json`
// output, or "no summary".
std::string SummaryCount(const TempDir& temp, const std::string& json) {
  std::ofstream(temp / "summary.json") << json;
  std::string count;
  const int status = testing::RunCapture(
      "python3 -c 'import json,sys\n"
      "rows=[json.loads(l) for l in open(sys.argv[1]) if l.strip()]\n"
      "print(rows[-1][\"summary\"][\"unreadable_sectors\"], end=\"\")' " +
          testing::ShellQuote((temp / "summary.json").string()),
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
}  // namespace vexlo
