// A deep scan cancelled anywhere and continued gives what the scan gives
// when nothing stops it: no file comes back shorter because the cancel cut
// its measuring short, none is listed twice.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "carving/test_samples.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using samples::EverythingPattern;
using samples::WriteImage;

// kind, name, size, first sector, record number
using Key = std::tuple<uint32_t, std::string, uint64_t, uint64_t, uint32_t>;

std::vector<FoundFileRecord> Records(IFileRecoveryParse& engine) {
  std::vector<FoundFileRecord> records;
  EXPECT_EQ(engine.FindFiles(EverythingPattern(), &records), 0);
  return records;
}

std::multiset<Key> Keys(IFileRecoveryParse& engine) {
  const std::vector<FoundFileRecord> records = Records(engine);
  std::multiset<Key> keys;
  for (const auto& r : records) {
    keys.emplace(uint32_t{r.fs_kind}, std::string(r.Name()), uint64_t{r.size},
                 uint64_t{r.entry_sector}, uint32_t{r.record_number});
  }
  return keys;
}

// Counts the main phase's progress reports (the walk's, and those of the
// length searches) and cancels at the `cancel_at`-th, as Ctrl-C or the
// window's cancel button do.
struct Reports {
  int cancel_at = 0;  // 0: never
  int seen = 0;
  static int32_t Callback(void* user, int32_t, int32_t scale, int32_t, uint64_t, uint64_t, uint64_t,
                          int32_t) {
    auto* self = static_cast<Reports*>(user);
    if (scale != 90) return 0;
    return ++self->seen == self->cancel_at ? kCancelCode : 0;
  }
};

struct Outcome {
  ErrorCode result = 0;
  std::multiset<Key> keys;
  uint64_t records = 0;
  int reports = 0;
  bool continued = false;
  // Files that would not be written because the medium seemed changed.
  int refused = 0;
};

// Scans `image`, cancelling at report `cancel_at` (0: never); with
// `recover_to`, then writes every file found there.
Outcome Scan(ScanHistory& history, const std::filesystem::path& image, int cancel_at,
             const std::filesystem::path* recover_to = nullptr) {
  Outcome out;
  auto engine = CreateEngineForImage(history, image, 0x8500, kFormattedScanMode);
  EXPECT_NE(engine, nullptr);
  if (!engine) return out;
  Reports reports{cancel_at};
  EXPECT_EQ(engine->SetProgressCallbacks(&Reports::Callback, nullptr, &reports, 100), 0);
  out.result = engine->Scan(nullptr);
  out.keys = Keys(*engine);
  out.records = engine->GetRecordCount();
  out.reports = reports.seen;
  out.continued = dynamic_cast<CProfessionalRecovery&>(*engine).continued_scan();
  if (recover_to != nullptr) {
    for (const FoundFileRecord& record : Records(*engine)) {
      const std::filesystem::path to = *recover_to / std::to_string(record.record_number);
      if (engine->RecoverFile(record, to, 0) == err::kMediaChanged) ++out.refused;
    }
  }
  return out;
}

class InterruptedScanTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(InterruptedScanTest, ContinuedScanEqualsTheUninterruptedOneWhereverItStopped) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  // Files of many formats, long ones among them (their measuring spans many
  // reports), in random bytes and zeros.
  samples::Medium medium = samples::MakeVariedMedium(8192, GetParam());
  WriteImage(dir / "whole.img", medium.bytes());
  const Outcome whole = Scan(history, dir / "whole.img", 0);
  ASSERT_EQ(whole.result, 0);
  ASSERT_GE(whole.keys.size(), 10u);
  ASSERT_GE(whole.reports, 20) << "too few places to stop at";

  // Every report up to 40, then every fifth: cancels at a chunk's end and
  // inside many length searches, early and late in them.
  std::vector<int> stops;
  for (int at = 1; at < whole.reports; at += at < 40 ? 1 : 5) stops.push_back(at);
  for (int at : stops) {
    SCOPED_TRACE("cancelled at report " + std::to_string(at));
    const std::filesystem::path image = dir / ("cut" + std::to_string(at) + ".img");
    WriteImage(image, medium.bytes());
    const Outcome cut = Scan(history, image, at);
    ASSERT_EQ(cut.result, kCancelCode);
    // Once, every file is written as well: none of an unchanged medium is
    // taken for changed.
    const std::filesystem::path out = dir / "out";
    const Outcome rest = Scan(history, image, 0, at == stops[stops.size() / 2] ? &out : nullptr);
    ASSERT_EQ(rest.result, 0);
    EXPECT_TRUE(rest.continued);
    EXPECT_EQ(rest.keys, whole.keys);
    EXPECT_EQ(rest.records, whole.records);
    EXPECT_EQ(rest.refused, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Media, InterruptedScanTest, ::testing::Values(31u, 32u));

// Cancelled twice, the second time while the file cut short the first time
// is measured again: its record is still the one it had.
TEST(InterruptedScanTest, FileCutShortTwiceKeepsItsRecord) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4096, 33);
  medium.Place(10, samples::MakeJpeg(600'000, true));
  medium.Place(2000, samples::MakeWav(9000));
  WriteImage(dir / "whole.img", medium.bytes());
  WriteImage(dir / "card.img", medium.bytes());
  const Outcome whole = Scan(history, dir / "whole.img", 0);
  ASSERT_EQ(whole.result, 0);
  ASSERT_EQ(Scan(history, dir / "card.img", 2).result, kCancelCode);
  const Outcome again = Scan(history, dir / "card.img", 3);
  ASSERT_EQ(again.result, kCancelCode);
  EXPECT_TRUE(again.continued);
  EXPECT_EQ(again.records, 1u) << "the JPEG, still cut short, under its first number";
  const Outcome rest = Scan(history, dir / "card.img", 0);
  EXPECT_EQ(rest.keys, whole.keys);
}

// A file found before the interruption whose first sector was overwritten
// since (where the fingerprint does not look) is not written on continuing;
// the files that did not change are.
TEST(InterruptedScanTest, AFileOverwrittenSinceItWasFoundIsNotWritten) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4096, 34);
  medium.Place(100, samples::MakeWav(9000));
  medium.Place(1000, samples::MakeJpeg(600'000, true));
  const std::filesystem::path card = dir / "card.img";
  WriteImage(card, medium.bytes());
  ASSERT_EQ(Scan(history, card, 2).result, kCancelCode);

  const auto when = std::filesystem::last_write_time(card);
  {
    std::fstream image(card, std::ios::binary | std::ios::in | std::ios::out);
    image.seekp(100 * 512);
    const std::string zeros(512, '\0');
    image.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  std::filesystem::last_write_time(card, when);
  auto engine = CreateEngineForImage(history, card, 0x8500, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  ASSERT_TRUE(dynamic_cast<CProfessionalRecovery&>(*engine).continued_scan());
  int refused = 0;
  int written = 0;
  for (const FoundFileRecord& record : Records(*engine)) {
    const std::filesystem::path to = dir / "out" / std::string(record.Name());
    const ErrorCode rc = engine->RecoverFile(record, to, 0);
    if (record.entry_sector == 100) {
      EXPECT_EQ(rc, err::kMediaChanged);
      EXPECT_FALSE(std::filesystem::exists(to)) << "nothing is written for it";
      ++refused;
    } else {
      EXPECT_EQ(rc, 0) << record.Name();
      ++written;
    }
  }
  EXPECT_EQ(refused, 1);
  EXPECT_GE(written, 1);
}

}  // namespace
}  // namespace vexlo
