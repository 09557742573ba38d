// A deep scan of a failing medium: unreadable sectors cost only themselves,
// the scan says how many it passed over, and a medium that gives nothing at
// all, or goes away, ends the scan with an error instead of a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "carving/test_samples.h"
#include "platform/sector_source.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using samples::EverythingPattern;
using samples::WriteImage;

constexpr uint32_t kSector = 512;

// name, size, first sector
using Found = std::tuple<std::string, uint64_t, uint64_t>;

std::set<Found> FoundFiles(IFileRecoveryParse& engine) {
  std::vector<FoundFileRecord> records;
  EXPECT_EQ(engine.FindFiles(EverythingPattern(), &records), 0);
  std::set<Found> found;
  for (const auto& r : records) {
    found.emplace(std::string(r.Name()), uint64_t{r.size}, uint64_t{r.entry_sector});
  }
  return found;
}

// What every source the code opens holds: the medium's bytes with some
// sectors unreadable (platform's fault-injecting source), and two switches
// that later fail every read: `dead` as a card that stopped answering,
// `pulled` as one taken out of its reader (its length is gone too).
struct FailingMedium {
  std::vector<uint8_t> bytes;
  std::set<uint64_t> bad_sectors;
  bool dead = false;
  bool pulled = false;
};

class SwitchedSource final : public platform::SectorSource {
 public:
  SwitchedSource(std::unique_ptr<platform::SectorSource> inner, const FailingMedium& medium)
      : inner_(std::move(inner)), medium_(medium) {}
  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                   std::size_t* bytes_read) override {
    *bytes_read = 0;
    if (medium_.pulled) return err::kNotReady;
    if (medium_.dead) return err::kReadFault;
    return inner_->ReadAt(byte_offset, data, bytes_read);
  }
  ErrorCode LengthBytes(uint64_t* length_bytes) const override {
    if (medium_.pulled) return err::kNotReady;
    return inner_->LengthBytes(length_bytes);
  }
  ErrorCode Geometry(platform::DeviceGeometry* geometry) const override {
    return inner_->Geometry(geometry);
  }

 private:
  std::unique_ptr<platform::SectorSource> inner_;
  const FailingMedium& medium_;
};

class OpenedAs {
 public:
  explicit OpenedAs(const FailingMedium& medium) {
    platform::SetSourceOpenerForTesting(
        [&medium](const std::filesystem::path&, std::unique_ptr<platform::SectorSource>* source) {
          auto faulty = std::make_unique<platform::FaultySectorSource>(
              std::make_unique<platform::MemorySectorSource>(medium.bytes));
          for (uint64_t sector : medium.bad_sectors) {
            faulty->AddUnreadableRange(sector * kSector, kSector);
          }
          *source = std::make_unique<SwitchedSource>(std::move(faulty), medium);
          return ErrorCode(err::kSuccess);
        });
  }
  ~OpenedAs() { platform::SetSourceOpenerForTesting({}); }
};

struct DeepScanResult {
  ErrorCode result = 0;
  std::set<Found> found;
  uint64_t unreadable = 0;
};

DeepScanResult DeepScan(ScanHistory& history, const std::filesystem::path& image,
                        uint16_t source_id) {
  DeepScanResult out;
  auto engine = CreateEngineForImage(history, image, source_id, kFormattedScanMode);
  EXPECT_NE(engine, nullptr);
  if (!engine) return out;
  out.result = engine->Scan(nullptr);
  out.found = FoundFiles(*engine);
  out.unreadable = dynamic_cast<CProfessionalRecovery&>(*engine).unreadable_sectors();
  return out;
}

bool Overlaps(const Found& file, const std::set<uint64_t>& bad_sectors) {
  const uint64_t first = std::get<2>(file);
  const uint64_t end = first + std::max<uint64_t>(1, (std::get<1>(file) + kSector - 1) / kSector);
  const auto it = bad_sectors.lower_bound(first);
  return it != bad_sectors.end() && *it < end;
}

struct BadSectorCase {
  const char* label;
  uint32_t seed;
  std::vector<std::pair<uint64_t, uint64_t>> bad_runs;  // first sector, count
};

const BadSectorCase kBadSectorCases[] = {
    {"scattered", 11, {{3, 1}, {700, 1}, {2500, 1}, {5001, 1}, {9000, 1}, {12287, 1}}},
    {"runs_across_chunk_boundaries", 12, {{2046, 5}, {4095, 2}, {6000, 40}}},
    {"a_stretch_larger_than_a_chunk", 13, {{3000, 2100}}},
    {"every_hundredth_sector", 14, {}},
};

class UnreadableSectorsTest : public ::testing::TestWithParam<BadSectorCase> {};

// Every file that lies outside the unreadable sectors is found as on a sound
// copy of the medium, and the count of sectors passed over is exact.
TEST_P(UnreadableSectorsTest, FindsEveryFileOutsideThemAndCountsThem) {
  const BadSectorCase& c = GetParam();
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium = samples::MakeVariedMedium(12288, c.seed);
  FailingMedium failing{medium.bytes(), {}, false, false};
  for (const auto& [first, count] : c.bad_runs) {
    for (uint64_t s = first; s < first + count; ++s) failing.bad_sectors.insert(s);
  }
  if (c.bad_runs.empty()) {
    for (uint64_t s = 50; s < medium.sectors(); s += 100) failing.bad_sectors.insert(s);
  }
  WriteImage(dir / "sound.img", medium.bytes());
  WriteImage(dir / "failing.img", medium.bytes());

  const DeepScanResult sound = DeepScan(history, dir / "sound.img", 0x8400);
  ASSERT_EQ(sound.result, 0);
  ASSERT_EQ(sound.unreadable, 0u);
  ASSERT_GE(sound.found.size(), 20u) << "the medium should hold many files";

  DeepScanResult failed;
  {
    OpenedAs opened(failing);
    failed = DeepScan(history, dir / "failing.img", 0x8401);
  }
  EXPECT_EQ(failed.result, 0) << c.label;
  EXPECT_EQ(failed.unreadable, failing.bad_sectors.size()) << c.label;
  std::size_t outside = 0;
  for (const Found& file : sound.found) {
    if (Overlaps(file, failing.bad_sectors)) continue;
    ++outside;
    EXPECT_TRUE(failed.found.count(file))
        << c.label << ": " << std::get<0>(file) << " of " << std::get<1>(file) << " bytes";
  }
  EXPECT_GE(outside, 10u) << c.label << ": too few files to compare";
}

INSTANTIATE_TEST_SUITE_P(Media, UnreadableSectorsTest, ::testing::ValuesIn(kBadSectorCases),
                         [](const auto& info) { return std::string(info.param.label); });

// Takes the medium away at a main-phase report.
struct PullAtReport {
  int calls_left;
  FailingMedium* medium;
  static int32_t Callback(void* user, int32_t, int32_t scale, int32_t, uint64_t, uint64_t, uint64_t,
                          int32_t) {
    auto* self = static_cast<PullAtReport*>(user);
    if (scale == 90 && --self->calls_left == 0) self->medium->pulled = true;
    return 0;
  }
};

TEST(UnreadableMediumTest, AMediumThatGivesNothingIsAnErrorAndNoSavedScan) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4096, 21);
  medium.Place(100, samples::MakeWav(20'000));
  WriteImage(dir / "dead.img", medium.bytes());
  FailingMedium failing{medium.bytes(), {}, false, false};
  OpenedAs opened(failing);
  auto engine = CreateEngineForImage(history, dir / "dead.img", 0x8410, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  const uint64_t counter = history.counter();
  failing.dead = true;  // answered while the engine opened, silent since
  EXPECT_EQ(engine->Scan(nullptr), err::kReadFault);
  EXPECT_EQ(dynamic_cast<CProfessionalRecovery&>(*engine).unreadable_sectors(), medium.sectors());
  EXPECT_TRUE(ScanHistory(dir / "ScanLog").entries().empty()) << "nothing to continue";
  EXPECT_EQ(ScanHistory(dir / "ScanLog").counter(), counter) << "the folder number is given back";
}

TEST(UnreadableMediumTest, AMediumPulledOutEndsTheScanWhichContinuesOnceItIsBack) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4 * 2048, 22);
  for (uint64_t s = 100; s < 8000; s += 1500) medium.Place(s, samples::MakeWav(60'000));
  WriteImage(dir / "card.img", medium.bytes());
  WriteImage(dir / "sound.img", medium.bytes());
  const DeepScanResult sound = DeepScan(history, dir / "sound.img", 0x8420);
  ASSERT_EQ(sound.result, 0);

  FailingMedium failing{medium.bytes(), {}, false, false};
  OpenedAs opened(failing);
  {
    auto engine = CreateEngineForImage(history, dir / "card.img", 0x8421, kFormattedScanMode);
    ASSERT_NE(engine, nullptr);
    PullAtReport pull{2, &failing};
    ASSERT_EQ(engine->SetProgressCallbacks(&PullAtReport::Callback, nullptr, &pull, 100), 0);
    EXPECT_EQ(engine->Scan(nullptr), err::kNotReady);
    EXPECT_EQ(dynamic_cast<CProfessionalRecovery&>(*engine).unreadable_sectors(), 1u)
        << "one failed read and the length query tell the medium is gone";
  }
  failing.pulled = false;
  const DeepScanResult resumed = DeepScan(history, dir / "card.img", 0x8421);
  EXPECT_EQ(resumed.result, 0);
  EXPECT_EQ(resumed.found, sound.found);
}

}  // namespace
}  // namespace vexlo
