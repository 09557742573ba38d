// `vexlo-recover image` on a dying card that is a real file (a FUSE server
// that fails reads with EIO in chosen ranges and dies after a number of
// failed reads), side by side with GNU ddrescue on the same card: it must
// rescue at least as much, and the mapfiles pass between the two programs.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "storage/mapfile.h"
#include "tests/support/fuse_card.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kCardBytes = 16 << 20;
const std::filesystem::path kDdrescue = "/usr/bin/ddrescue";
const std::filesystem::path kDdrescuelog = "/usr/bin/ddrescuelog";

struct BadArea {
  uint64_t first_sector;
  uint64_t sectors;
};
// An area of 10,000 sectors, two lone bad sectors and a short area.
const std::vector<BadArea> kBadAreas = {{4000, 10000}, {20000, 1}, {20500, 1}, {25000, 64}};

// The server's options for the card's bad areas, and more.
std::vector<std::string> CardOptions(std::vector<std::string> more = {}) {
  std::vector<std::string> options;
  for (const BadArea& area : kBadAreas) {
    options.push_back("--bad");
    options.push_back(std::to_string(area.first_sector * kSector) + ":" +
                      std::to_string(area.sectors * kSector));
  }
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

std::string Skip() {
  std::string reason = FuseCard::UnavailableReason();
  if (reason.empty() && !std::filesystem::exists(kDdrescue)) reason = "gddrescue is not installed";
  return reason;
}

class CliImageRescue : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = Skip(); !reason.empty()) GTEST_SKIP() << reason;
    std::mt19937 random(31);
    card_bytes_.resize(kCardBytes);
    for (char& c : card_bytes_) c = static_cast<char>(random());
    std::ofstream(backing_, std::ios::binary) << card_bytes_;
  }

  // The card with its unreadable sectors as zeros: what a complete copy holds.
  std::string ExpectedImage() const {
    std::string expected = card_bytes_;
    for (const BadArea& area : kBadAreas) {
      std::memset(expected.data() + area.first_sector * kSector, 0, area.sectors * kSector);
    }
    return expected;
  }

  // A complete copy's map: exactly the unreadable sectors bad.
  static std::vector<MapBlock> ExpectedBlocks() {
    RescueMap map(kCardBytes);
    map.Set(0, kCardBytes, BlockStatus::kFinished);
    for (const BadArea& area : kBadAreas) {
      map.Set(area.first_sector * kSector, (area.first_sector + area.sectors) * kSector,
              BlockStatus::kBadSector);
    }
    return map.Blocks();
  }

  static RescueMap LoadMap(const std::filesystem::path& path) {
    RescueMap map;
    RescueStatus status;
    EXPECT_EQ(LoadMapfile(path, kCardBytes, &map, &status), 0) << path;
    return map;
  }

  // Every finished byte of the map holds the card's byte in the image.
  void ExpectFinishedBytesMatch(const std::filesystem::path& image, const RescueMap& map) const {
    const std::string bytes = ReadText(image);
    ASSERT_EQ(bytes.size(), kCardBytes);
    for (const MapBlock& block : map.Blocks()) {
      if (block.status != BlockStatus::kFinished) continue;
      ASSERT_EQ(bytes.compare(block.begin, block.size(), card_bytes_, block.begin, block.size()), 0)
          << "finished block at " << block.begin;
    }
  }

  // ddrescuelog reads the map as a finished rescue whose bad sectors are
  // exactly the unreadable ones.
  void ExpectDdrescuelogSeesOnlyTheBadSectors(const std::filesystem::path& map) {
    const ToolRun pending = RunProgram(temp_, kDdrescuelog, {"--list-blocks=?*/", map.string()});
    EXPECT_EQ(pending.status, 0) << pending.err;
    EXPECT_EQ(pending.out, "");
    std::string bad_sectors;
    for (const BadArea& area : kBadAreas) {
      for (uint64_t s = area.first_sector; s < area.first_sector + area.sectors; ++s) {
        bad_sectors += std::to_string(s) + "\n";
      }
    }
    const ToolRun bad = RunProgram(temp_, kDdrescuelog, {"--list-blocks=-", map.string()});
    EXPECT_EQ(bad.status, 0) << bad.err;
    EXPECT_TRUE(bad.out == bad_sectors);
  }

  TempDir temp_;
  std::filesystem::path backing_ = temp_ / "backing.raw";
  std::string card_bytes_;
};

// A card that dies after 30 failed reads: our copy gets at least 99 % of
// what ddrescue gets from the same card; ddrescuelog reads our map; put in
// again (alive), the card is finished by a second run from that map.
TEST_F(CliImageRescue, DyingCardRescuesAsMuchAsDdrescue) {
  const std::vector<std::string> dying = CardOptions({"--die-after-failures", "30"});
  {
    FuseCard card(temp_, backing_, dying);
    ASSERT_TRUE(card.mounted());
    const ToolRun run = RunProgram(temp_, kDdrescue,
                                   {"-q", card.path().string(), (temp_ / "ddrescue.img").string(),
                                    (temp_ / "ddrescue.map").string()});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  const std::filesystem::path ours = temp_ / "ours.img";
  {
    FuseCard card(temp_, backing_, dying);
    ASSERT_TRUE(card.mounted());
    const ToolRun run =
        RunTool(temp_, {"image", card.path().string(), ours.string(), "--timeout", "2"});
    // Either the copy saw the card stop answering, or it had everything
    // good before the card died and read the bad rest to its end.
    EXPECT_TRUE(run.status == 0 ||
                (run.status == 1 && run.err.find("stopped answering") != std::string::npos))
        << run.err;
  }
  const RescueMap ddrescue_map = LoadMap(temp_ / "ddrescue.map");
  const RescueMap our_map = LoadMap(temp_ / "ours.img.map");
  ExpectFinishedBytesMatch(ours, our_map);
  const uint64_t theirs = ddrescue_map.Totals().finished;
  const uint64_t ours_rescued = our_map.Totals().finished;
  EXPECT_GE(ours_rescued * 100, theirs * 99) << "ours " << ours_rescued << ", ddrescue " << theirs;
  RecordProperty("rescued_bytes_ours", std::to_string(ours_rescued));
  RecordProperty("rescued_bytes_ddrescue", std::to_string(theirs));

  const ToolRun status =
      RunProgram(temp_, kDdrescuelog, {"--show-status", (temp_ / "ours.img.map").string()});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("rescued:"), std::string::npos) << status.out;

  FuseCard alive(temp_, backing_, CardOptions());
  ASSERT_TRUE(alive.mounted());
  const ToolRun again = RunTool(temp_, {"image", alive.path().string(), ours.string()});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("continuing the copy recorded in"), std::string::npos) << again.err;
  EXPECT_EQ(LoadMap(temp_ / "ours.img.map").Blocks(), ExpectedBlocks());
  EXPECT_TRUE(ReadText(ours) == ExpectedImage());
  ExpectDdrescuelogSeesOnlyTheBadSectors(temp_ / "ours.img.map");
}

// ddrescue copies without trimming or scraping; our copy takes its image and
// map over, reads only what ddrescue left, and finishes the job.
TEST_F(CliImageRescue, ContinuesFromTheMapDdrescueWrote) {
  const std::filesystem::path image = temp_ / "card.img";
  {
    FuseCard card(temp_, backing_, CardOptions());
    ASSERT_TRUE(card.mounted());
    const ToolRun run = RunProgram(temp_, kDdrescue,
                                   {"-q", "--no-trim", "--no-scrape", card.path().string(),
                                    image.string(), MapfilePath(image).string()});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  const RescueMap left = LoadMap(MapfilePath(image));
  ASSERT_GT(left.Totals().non_trimmed, 0u);

  FuseCard card(temp_, backing_, CardOptions());
  ASSERT_TRUE(card.mounted());
  const ToolRun run = RunTool(temp_, {"image", card.path().string(), image.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("continuing the copy recorded in"), std::string::npos) << run.err;
  for (const FuseCard::Read& read : card.Reads()) {
    const auto finished = left.NextBlock(read.offset, BlockStatus::kFinished);
    ASSERT_FALSE(finished && finished->begin < read.offset + read.length)
        << "read of " << read.length << " bytes at " << read.offset << " was finished";
  }
  EXPECT_EQ(LoadMap(MapfilePath(image)).Blocks(), ExpectedBlocks());
  EXPECT_TRUE(ReadText(image) == ExpectedImage());
  ExpectDdrescuelogSeesOnlyTheBadSectors(MapfilePath(image));
}

}  // namespace
}  // namespace vexlo::testing
