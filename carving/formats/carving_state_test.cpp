// The parts of the carving state on their own: which sector sizes the medium
// takes, where its reads come from, the stream history an identification
// leaves, the progress a search reports, and the bounds of header probes.
#include "carving/formats/carving_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "carving/formats/header_probe.h"
#include "carving/formats/type_codes.h"
#include "platform/sector_source.h"

namespace vexlo::carving {
namespace {

constexpr uint32_t kSector = 512;

// A medium of `sectors` sectors whose bytes tell their sector number; the
// source counts what it delivers.
class MediumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> bytes(64 * kSector);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / kSector);
    auto source = std::make_unique<platform::FaultySectorSource>(
        std::make_unique<platform::MemorySectorSource>(std::move(bytes)));
    source_ = source.get();
    ASSERT_EQ(OpenDiskFromSource(std::move(source), &disk_), 0);
    medium_.SetSource(&disk_);
    ASSERT_TRUE(medium_.SetSectorBytes(kSector));
  }
  // A chunk of sectors [first, first + count) whose bytes all read `fill`.
  SectorSpan FakeChunk(std::vector<uint8_t>& buffer, uint64_t first, uint64_t count, uint8_t fill) {
    buffer.assign(count * kSector, fill);
    return {first, count, buffer.data()};
  }

  DiskHandle disk_;
  platform::FaultySectorSource* source_ = nullptr;
  CarvingMedium medium_;
};

TEST_F(MediumTest, TakesOnlySectorSizesItsBuffersFit) {
  struct Case {
    uint32_t sector_bytes;
    bool taken;
  } cases[] = {{0, false},  {1, true},    {256, true},   {500, false},
               {512, true}, {4096, true}, {8192, false}, {0x80000000u, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(medium_.SetSectorBytes(c.sector_bytes), c.taken) << c.sector_bytes;
    EXPECT_EQ(medium_.sector_bytes(), c.taken ? c.sector_bytes : 512u) << c.sector_bytes;
    ASSERT_TRUE(medium_.SetSectorBytes(kSector));
  }
  EXPECT_EQ(medium_.MediumSectors(), 64u);
  ASSERT_TRUE(medium_.SetSectorBytes(4096));
  EXPECT_EQ(medium_.MediumSectors(), 8u);
}

TEST_F(MediumTest, ReadsServeHeldSectorsAndReadOnlyTheRest) {
  std::vector<uint8_t> walk;
  medium_.ShareWalkChunk(FakeChunk(walk, 4, 2, 0xAA), kSector);
  std::vector<uint8_t> into(4 * kSector);
  ASSERT_TRUE(medium_.ReadWhole(4, 4, into.data()));
  EXPECT_EQ(into[0], 0xAA);  // sectors 4 and 5 from the walk's chunk
  EXPECT_EQ(into[1 * kSector], 0xAA);
  EXPECT_EQ(into[2 * kSector], 6);  // the rest from the medium
  EXPECT_EQ(into[3 * kSector], 7);
  EXPECT_EQ(source_->bytes_delivered(), 2u * kSector);
  EXPECT_FALSE(medium_.ReadWhole(63, 2, into.data()));  // past the end
  EXPECT_EQ(source_->bytes_delivered(), 2u * kSector);

  // A chunk of another sector size is not taken; a new size forgets it.
  medium_.StopSharing(walk.data());
  medium_.ShareWalkChunk(FakeChunk(walk, 4, 2, 0xAA), 4096);
  ASSERT_TRUE(medium_.ReadWhole(4, 1, into.data()));
  EXPECT_EQ(into[0], 4);
  medium_.ShareWalkChunk(FakeChunk(walk, 4, 2, 0xAA), kSector);
  ASSERT_TRUE(medium_.SetSectorBytes(256));
  ASSERT_TRUE(medium_.SetSectorBytes(kSector));
  ASSERT_TRUE(medium_.ReadWhole(4, 1, into.data()));
  EXPECT_EQ(into[0], 4);
}

TEST_F(MediumTest, SearchedChunkInTheWorkBufferIsNoSourceForReadsIntoIt) {
  uint8_t* const work = medium_.work_buffer().data();
  std::fill(work, work + 8 * kSector, 0xBB);
  medium_.KeepSearched({10, 8, work});
  std::vector<uint8_t> elsewhere(kSector);
  ASSERT_TRUE(medium_.ReadWhole(12, 1, elsewhere.data()));
  EXPECT_EQ(elsewhere[0], 0xBB);  // held: copied
  ASSERT_TRUE(medium_.ReadWhole(12, 1, work + 4 * kSector));
  EXPECT_EQ(work[4 * kSector], 12);  // read from the medium
  std::vector<uint8_t> taken(2 * kSector);
  EXPECT_EQ(medium_.TakeSearched(16, 5, kSector, taken.data()), 2u);
  EXPECT_EQ(medium_.TakeSearched(16, 5, 4096, taken.data()), 0u);
  medium_.ForgetSearched();
  EXPECT_EQ(medium_.TakeSearched(16, 5, kSector, taken.data()), 0u);
}

TEST_F(MediumTest, ProbeReadsMustFitTheProbeBuffer) {
  const StreamHistory streams;
  const HeaderProbe probe(medium_, streams, 5, 7);
  EXPECT_EQ(probe.sector(), 7u);
  EXPECT_EQ(probe.file_start(), 5u);
  ASSERT_TRUE(probe.Read(7, 8, 4));
  EXPECT_EQ(probe.buffer()[4], 7);
  EXPECT_EQ(probe.buffer()[4 + 7 * kSector], 14);
  const std::size_t whole = probe.buffer().size() / kSector;
  EXPECT_TRUE(probe.Read(0, whole));
  EXPECT_FALSE(probe.Read(0, whole, 4 + kSector));
  EXPECT_FALSE(probe.Read(0, 1, probe.buffer().size() + 1));
}

TEST(StreamHistoryTest, IdentificationsSetTheFlagsTheyLeave) {
  struct Case {
    const char* what;
    void (*step)(StreamHistory&);
    bool checks_continuation;
    bool after_mts;
  } cases[] = {
      {"a new scan", [](StreamHistory&) {}, true, false},
      {"a stream", [](StreamHistory& h) { h.FileFound(code::kTs); }, true, false},
      // A camera stream is as headerless behind its first packets as a
      // plain one.
      {"an mts file", [](StreamHistory& h) { h.FileFound(code::kMts); }, true, true},
      {"another file", [](StreamHistory& h) { h.FileFound(code::kJpg); }, false, false},
      {"nothing after an mts file",
       [](StreamHistory& h) {
         h.FileFound(code::kMts);
         h.NothingFound();
       },
       true, false},
      {"an extension check after an mts file",
       [](StreamHistory& h) {
         h.FileFound(code::kMts);
         h.StopCheckingContinuation();
       },
       false, true},
      {"a reset",
       [](StreamHistory& h) {
         h.FileFound(code::kMts);
         h.Reset();
       },
       true, false},
  };
  for (const Case& c : cases) {
    StreamHistory history;
    c.step(history);
    EXPECT_EQ(history.checks_continuation(), c.checks_continuation) << c.what;
    EXPECT_EQ(history.after_mts(), c.after_mts) << c.what;
  }
}

TEST(StreamHistoryTest, StartTestsAreLenientOutsideCarvedStreams) {
  StreamHistory history;
  history.AddStream({10, 19});
  EXPECT_FALSE(history.InsideCarvedStream(9));
  EXPECT_TRUE(history.InsideCarvedStream(10));
  EXPECT_TRUE(history.InsideCarvedStream(19));
  EXPECT_FALSE(history.InsideCarvedStream(20));
  EXPECT_TRUE(history.StartTestsLenient(20));
  EXPECT_FALSE(history.StartTestsLenient(15));  // continuity is checked there
  history.FileFound(code::kJpg);
  EXPECT_TRUE(history.StartTestsLenient(15));
  history.FileFound(code::kMts);
  EXPECT_FALSE(history.StartTestsLenient(20));
  history.Reset();
  EXPECT_FALSE(history.InsideCarvedStream(15));
}

struct Report {
  int32_t percent;
  uint64_t done;
  uint64_t total;
  uint64_t found;
};

int32_t Record(void* user, int32_t percent, int32_t, int32_t, uint64_t done, uint64_t total,
               uint64_t found, int32_t) {
  auto* reports = static_cast<std::vector<Report>*>(user);
  reports->push_back({percent, done, total, found});
  return reports->size() == 2 ? kCancelCode : 0;
}

TEST(SearchProgressTest, ReportsFromTheCallersPointAndStopsWhenAnswered) {
  SearchProgress progress;
  EXPECT_TRUE(progress.Report(5));  // no callback: never stopped
  std::vector<Report> reports;
  progress.SetCallback(Record, &reports, 100);
  progress.Begin({300, 1000, -1}, 7);
  EXPECT_TRUE(progress.Report(100));
  EXPECT_FALSE(progress.cancelled());
  EXPECT_FALSE(progress.Report(200));
  EXPECT_TRUE(progress.cancelled());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].done, 400u);
  EXPECT_EQ(reports[0].percent, 50);
  EXPECT_EQ(reports[1].done, 500u);
  EXPECT_EQ(reports[1].found, 7u);
  progress.Begin({0, 0, -1}, 0);
  EXPECT_FALSE(progress.cancelled());
  EXPECT_TRUE(progress.Report(3));
  EXPECT_EQ(reports[2].percent, 10);  // no total known
}

}  // namespace
}  // namespace vexlo::carving
