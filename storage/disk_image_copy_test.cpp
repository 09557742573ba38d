#include "storage/disk_image_copy.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/sector_source.h"
#include "platform/volume_info.h"
#include "storage/disk_enumerator.h"
#include "storage/test_map_text.h"
#include "tests/support/fake_disk_tree.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::MapText;
using testing::TempDir;
using ReadEvent = platform::FaultySectorSource::ReadEvent;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes(std::filesystem::file_size(path));
  std::ifstream(path, std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

struct SectorRange {
  uint64_t first;
  uint64_t count;
};

// A failing card: random bytes, bad and slow sector ranges, a clock that
// only moves when a slow read takes its time, and a log of every read that
// reached it. Each Open() is the card put in again: its faults as set up,
// flaky sectors failing from the start.
struct FailingCard {
  uint32_t sector_bytes;
  std::vector<uint8_t> bytes;
  struct Bad {
    SectorRange range;
    uint32_t failures;
  };
  std::vector<Bad> bad;
  struct Slow {
    SectorRange range;
    uint32_t delay_ms;
  };
  std::vector<Slow> slow;
  std::size_t death_after_reads = SIZE_MAX;
  bool vanishes = true;
  uint64_t now_ms = 0;
  std::vector<ReadEvent> reads;
  std::function<void(const ReadEvent&)> on_read;

  explicit FailingCard(uint64_t sectors, uint32_t sector_size = 512, uint32_t seed = 7)
      : sector_bytes(sector_size), bytes(sectors * sector_size) {
    std::mt19937 random(seed);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  }
  uint64_t sectors() const { return bytes.size() / sector_bytes; }

  DiskHandle Open() {
    auto faulty = std::make_unique<platform::FaultySectorSource>(
        std::make_unique<platform::MemorySectorSource>(bytes, sector_bytes));
    for (const Bad& b : bad) {
      faulty->AddUnreadableRange(b.range.first * sector_bytes, b.range.count * sector_bytes,
                                 b.failures);
    }
    for (const Slow& s : slow) {
      faulty->AddSlowRange(s.range.first * sector_bytes, s.range.count * sector_bytes, s.delay_ms);
    }
    faulty->set_delay_handler([this](uint32_t delay_ms) { now_ms += delay_ms; });
    faulty->set_death_after_reads(death_after_reads, vanishes);
    faulty->set_read_observer([this](const ReadEvent& event) {
      reads.push_back(event);
      if (on_read) on_read(event);
    });
    DiskHandle disk;
    EXPECT_TRUE(OpenDiskFromSource(std::move(faulty), &disk).ok());
    return disk;
  }

  ImageCopyJob Job() {
    ImageCopyJob job;
    job.clock_ms = [this] { return now_ms; };
    return job;
  }

  // What a complete copy holds: the card with its lasting bad sectors zeroed.
  std::vector<uint8_t> ExpectedImage(uint64_t first = 0, uint64_t count = 0) const {
    std::vector<uint8_t> expected = bytes;
    for (const Bad& b : bad) {
      if (b.failures != UINT32_MAX) continue;
      std::memset(expected.data() + b.range.first * sector_bytes, 0, b.range.count * sector_bytes);
    }
    if (count == 0) count = sectors() - first;
    return {expected.begin() + static_cast<std::ptrdiff_t>(first * sector_bytes),
            expected.begin() + static_cast<std::ptrdiff_t>((first + count) * sector_bytes)};
  }

  // The map of a complete copy: exactly the lasting bad sectors bad.
  std::string ExpectedMap() const {
    RescueMap map(bytes.size());
    map.Set(0, bytes.size(), BlockStatus::kFinished);
    for (const Bad& b : bad) {
      if (b.failures != UINT32_MAX) continue;
      map.Set(b.range.first * sector_bytes, (b.range.first + b.range.count) * sector_bytes,
              BlockStatus::kBadSector);
    }
    return MapText(map.Blocks());
  }
};

// The map beside `image` as blocks, and its status line.
std::string SavedMap(const std::filesystem::path& image, uint64_t domain_bytes,
                     RescueStatus* status = nullptr) {
  RescueMap map;
  RescueStatus read_status;
  EXPECT_EQ(LoadMapfile(MapfilePath(image), domain_bytes, &map, &read_status), 0);
  if (status != nullptr) *status = read_status;
  return MapText(map.Blocks());
}

// A card of 16384 sectors with a large, a lone and a middle-sized bad area.
FailingCard CardWithThreeBadAreas() {
  FailingCard card(16384);
  card.bad = {{{3000, 1000}, UINT32_MAX}, {{9000, 1}, UINT32_MAX}, {{12000, 300}, UINT32_MAX}};
  return card;
}

// Copies `card` into `image` from the map beside it to the end, which must
// be that of a copy that never stopped.
void ExpectContinuedToTheSameEnd(FailingCard& card, const std::filesystem::path& image) {
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), 0);
  EXPECT_TRUE(report.continued);
  EXPECT_EQ(ReadFile(image), card.ExpectedImage());
  RescueStatus status;
  EXPECT_EQ(SavedMap(image, card.bytes.size(), &status), card.ExpectedMap());
  EXPECT_EQ(status.phase, RescuePhase::kFinished);
}

TEST(PhaseIndex, BooksEachReadingPhaseApartAndTheEndWithCopying) {
  const std::pair<RescuePhase, int> cases[] = {
      {RescuePhase::kCopying, 0},  {RescuePhase::kTrimming, 1}, {RescuePhase::kScraping, 2},
      {RescuePhase::kRetrying, 3}, {RescuePhase::kFinished, 0},
  };
  for (const auto& [phase, index] : cases) {
    EXPECT_EQ(PhaseIndex(phase), index) << RescuePhaseName(phase);
  }
}

// Records every progress call; answers kCancelCode from call `cancel_at` on.
struct Recorder {
  std::vector<ImageCopyProgress> calls;
  std::size_t cancel_at = SIZE_MAX;

  static int32_t Progress(void* user, const ImageCopyProgress& progress) {
    auto* self = static_cast<Recorder*>(user);
    self->calls.push_back(progress);
    return self->calls.size() >= self->cancel_at ? kCancelCode : 0;
  }
  void Attach(ImageCopyJob& job) {
    job.progress = &Recorder::Progress;
    job.user = this;
  }
};

TEST(CopyDiskToImage, ImageIsByteIdenticalToTheSourceRange) {
  struct Case {
    const char* name;
    uint32_t sector_bytes;
    uint64_t source_sectors;
    uint64_t first_sector;
    uint64_t sector_count;  // 0: to the end
    uint64_t expected_sectors;
  };
  const std::vector<Case> cases = {
      {"whole source", 512, 5000, 0, 0, 5000},
      {"middle, not a whole number of blocks", 512, 5000, 37, 3000, 3000},
      {"rest of the source from a sector", 512, 5000, 900, 0, 4100},
      {"last sector only", 512, 1000, 999, 1, 1},
      {"4096-byte sectors", 4096, 700, 3, 600, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FailingCard card(c.source_sectors, c.sector_bytes);
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    Recorder recorder;
    recorder.Attach(job);
    ImageCopyReport report;
    const std::filesystem::path image = temp / "out.img";
    ASSERT_EQ(CopyDiskToImage(job, disk, c.first_sector, c.sector_count, image, &report), 0);

    EXPECT_EQ(ReadFile(image), card.ExpectedImage(c.first_sector, c.expected_sectors));
    EXPECT_EQ(report.end, ImageCopyEnd::kFinished);
    EXPECT_EQ(report.rescued_sectors, c.expected_sectors);
    EXPECT_EQ(report.unreadable_sectors, 0u);
    EXPECT_FALSE(report.continued);
    const uint64_t domain = c.expected_sectors * c.sector_bytes;
    RescueStatus status;
    EXPECT_EQ(SavedMap(image, domain, &status), "0-" + std::to_string(domain) + ":+");
    EXPECT_EQ(status.phase, RescuePhase::kFinished);
    // Large reads only: one per MiB.
    EXPECT_EQ(report.phases[0].reads, (domain + kRescueBlockBytes - 1) / kRescueBlockBytes);

    ASSERT_FALSE(recorder.calls.empty());
    EXPECT_EQ(recorder.calls.front().phase, RescuePhase::kCopying);
    EXPECT_EQ(recorder.calls.back().phase, RescuePhase::kFinished);
    EXPECT_EQ(recorder.calls.back().percentage, 100);
    EXPECT_EQ(recorder.calls.back().sectors_done, c.expected_sectors);
    EXPECT_EQ(recorder.calls.back().rescued_bytes, domain);
    for (const ImageCopyProgress& call : recorder.calls) {
      EXPECT_EQ(call.sectors_total, c.expected_sectors);
    }
  }
}

// After scraping, the image equals the card wherever it reads, holds zeros
// elsewhere, and the map marks exactly the unreadable sectors bad.
TEST(CopyDiskToImage, MapMarksExactlyTheUnreadableSectors) {
  struct Case {
    const char* name;
    uint32_t sector_bytes;
    uint64_t sectors;
    std::vector<SectorRange> bad;
  };
  const std::vector<Case> cases = {
      {"single sectors, one on each side of a block boundary",
       512,
       8192,
       {{5, 1}, {127, 1}, {2047, 1}, {2048, 1}, {5000, 1}, {8191, 1}}},
      {"short areas, one across a block boundary", 512, 8192, {{2040, 20}, {3000, 3}, {0, 4}}},
      {"an area of 10,000 sectors", 512, 30000, {{12345, 10000}}},
      {"an area up to the end", 512, 8192, {{6000, 2192}}},
      {"nothing readable", 512, 3000, {{0, 3000}}},
      {"4096-byte sectors", 4096, 1024, {{1, 1}, {255, 2}, {700, 40}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FailingCard card(c.sectors, c.sector_bytes);
    for (const SectorRange& range : c.bad) card.bad.push_back({range, UINT32_MAX});
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    ImageCopyReport report;
    const std::filesystem::path image = temp / "card.img";
    ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), 0);

    EXPECT_EQ(ReadFile(image), card.ExpectedImage());
    EXPECT_EQ(SavedMap(image, card.bytes.size()), card.ExpectedMap());
    uint64_t bad_sectors = 0;
    for (const SectorRange& range : c.bad) bad_sectors += range.count;
    EXPECT_EQ(report.unreadable_sectors, bad_sectors);
    EXPECT_EQ(report.rescued_sectors, c.sectors - bad_sectors);
    EXPECT_EQ(report.untried_sectors, 0u);
    EXPECT_EQ(report.totals.bad_sector, bad_sectors * c.sector_bytes);
  }
}

// The copying phase crosses a large bad area in a handful of reads; only the
// scraping reads it sector by sector, once, after everything good was copied.
TEST(CopyDiskToImage, CopyingSpendsFewReadsOnALargeBadArea) {
  TempDir temp;
  FailingCard card(40000);
  const SectorRange area{12345, 10000};
  card.bad.push_back({area, UINT32_MAX});
  const uint64_t area_begin = area.first * 512;
  const uint64_t area_end = (area.first + area.count) * 512;

  RescuePhase phase = RescuePhase::kCopying;
  uint64_t touching[kPhaseCount] = {};
  card.on_read = [&](const ReadEvent& event) {
    if (event.byte_offset < area_end && event.byte_offset + event.length_bytes > area_begin) {
      ++touching[PhaseIndex(phase)];
    }
  };
  struct PhaseWatch {
    RescuePhase* phase;
    static int32_t Progress(void* user, const ImageCopyProgress& progress) {
      *static_cast<PhaseWatch*>(user)->phase = progress.phase;
      return 0;
    }
  } watch{&phase};
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  job.progress = &PhaseWatch::Progress;
  job.user = &watch;
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), 0);
  EXPECT_EQ(report.probe_reads, 0u);

  // 10,000 sectors are about 5 MiB: a few 1 MiB reads that fail, and a few
  // more across the gaps the skips left.
  EXPECT_LE(touching[PhaseIndex(RescuePhase::kCopying)], 16u);
  EXPECT_LE(report.phases[PhaseIndex(RescuePhase::kCopying)].failed_reads, 16u);
  // Trimming stops at the first bad sector from each side.
  EXPECT_EQ(report.phases[PhaseIndex(RescuePhase::kTrimming)].failed_reads, 2u);
  // Scraping tries every other sector of the area once.
  EXPECT_EQ(touching[PhaseIndex(RescuePhase::kScraping)], area.count - 2);
  EXPECT_EQ(SavedMap(temp / "card.img", card.bytes.size()), card.ExpectedMap());
}

// A slow area is left for later like a bad one: the good area behind it is
// copied first, and the slow area is still copied in the end.
TEST(CopyDiskToImage, SlowAreaIsCopiedAfterTheGoodAreasBehindIt) {
  TempDir temp;
  FailingCard card(20480);
  const SectorRange slow{4096, 8192};
  card.slow.push_back({slow, 3000});
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), 0);

  EXPECT_EQ(ReadFile(temp / "card.img"), card.bytes);
  const uint64_t slow_end = (slow.first + slow.count) * 512;
  std::size_t last_in_slow = 0;
  std::size_t first_of_tail = SIZE_MAX;
  for (std::size_t i = 0; i < card.reads.size(); ++i) {
    const ReadEvent& read = card.reads[i];
    if (read.byte_offset >= (20480 - 2048) * 512 && first_of_tail == SIZE_MAX) first_of_tail = i;
    if (read.byte_offset < slow_end && read.byte_offset + read.length_bytes > slow.first * 512) {
      last_in_slow = i;
    }
  }
  EXPECT_LT(first_of_tail, last_in_slow);
  // Slow is not silent: every slow read succeeded.
  EXPECT_EQ(report.end, ImageCopyEnd::kFinished);
}

// A copy that stops cleanly on the way (cancelled, or the device vanished)
// saves its map; started again it goes on, never reads a byte it already
// has, and ends with the same image and map as a copy that never stopped.
TEST(CopyDiskToImage, StoppedCopyContinuesToTheSameResult) {
  struct Case {
    const char* name;
    std::size_t cancel_at_call;      // SIZE_MAX: never
    std::size_t vanish_after_reads;  // SIZE_MAX: never
    ErrorCode result;
    ImageCopyEnd end;
    RescuePhase phase;  // in the saved map
  };
  const std::vector<Case> cases = {
      {"cancelled at once", 1, SIZE_MAX, kCancelCode, ImageCopyEnd::kCancelled,
       RescuePhase::kCopying},
      {"cancelled while copying", 4, SIZE_MAX, kCancelCode, ImageCopyEnd::kCancelled,
       RescuePhase::kCopying},
      {"vanished while copying", SIZE_MAX, 20, err::kNotReady, ImageCopyEnd::kDeviceGone,
       RescuePhase::kCopying},
      {"vanished while trimming", SIZE_MAX, 200, err::kNotReady, ImageCopyEnd::kDeviceGone,
       RescuePhase::kTrimming},
      {"vanished while scraping", SIZE_MAX, 2000, err::kNotReady, ImageCopyEnd::kDeviceGone,
       RescuePhase::kScraping},
  };
  FailingCard reference_card(16384);
  reference_card.bad = {
      {{3000, 1000}, UINT32_MAX}, {{9000, 1}, UINT32_MAX}, {{12000, 300}, UINT32_MAX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    const std::filesystem::path image = temp / "card.img";
    FailingCard card = reference_card;
    card.death_after_reads = c.vanish_after_reads;
    {
      DiskHandle disk = card.Open();
      ImageCopyJob job = card.Job();
      job.clock_ms = [&card] { return card.now_ms += 40; };
      Recorder recorder;
      recorder.cancel_at = c.cancel_at_call;
      recorder.Attach(job);
      ImageCopyReport report;
      EXPECT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), c.result);
      EXPECT_EQ(report.end, c.end);
      EXPECT_EQ(std::filesystem::file_size(image), card.bytes.size());
    }
    RescueMap saved;
    RescueStatus status;
    ASSERT_EQ(LoadMapfile(MapfilePath(image), card.bytes.size(), &saved, &status), 0);
    EXPECT_EQ(status.phase, c.phase);
    // Whatever the map calls finished is in the image already.
    const std::vector<uint8_t> partial = ReadFile(image);
    for (const MapBlock& block : saved.Blocks()) {
      if (block.status != BlockStatus::kFinished) continue;
      ASSERT_EQ(
          std::memcmp(partial.data() + block.begin, card.bytes.data() + block.begin, block.size()),
          0);
    }

    card.death_after_reads = SIZE_MAX;
    card.reads.clear();
    ExpectContinuedToTheSameEnd(card, image);
    for (const ReadEvent& read : card.reads) {
      const auto finished = saved.NextBlock(read.byte_offset, BlockStatus::kFinished);
      ASSERT_FALSE(finished && finished->begin < read.byte_offset + read.length_bytes)
          << "read at " << read.byte_offset << " of finished bytes";
    }
  }
}

// kill -9 at any read: the map on disk lags behind the image by up to a few
// seconds, and a continued copy still ends exactly like an uninterrupted one.
TEST(CopyDiskToImage, KilledCopyContinuesToTheSameResult) {
  TempDir temp;
  const std::filesystem::path image = temp / "card.img";
  FailingCard card = CardWithThreeBadAreas();
  // Each run is killed at its n-th read, so the kills fall into copying,
  // trimming and scraping.
  for (const std::size_t kill_at : {3u, 9u, 40u, 700u, 900u}) {
    SCOPED_TRACE(kill_at);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::size_t reads = 0;
      card.on_read = [&](const ReadEvent&) {
        if (++reads == kill_at) raise(SIGKILL);
      };
      DiskHandle disk = card.Open();
      ImageCopyJob job = card.Job();
      job.silence_limit_seconds = 0;
      // Every clock reading is a tenth of a second on: the map is saved
      // every fifty readings or so.
      job.clock_ms = [&card] { return card.now_ms += 100; };
      ImageCopyReport report;
      (void)CopyDiskToImage(job, disk, 0, 0, image, &report);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the copy ended first";
  }
  ExpectContinuedToTheSameEnd(card, image);
}

// A device that stops answering is left alone: after a long run of failed
// reads, or none good for the silence limit, one sector that read before is
// tried, and when that fails too the copy ends.
TEST(CopyDiskToImage, DeadDeviceEndsTheCopy) {
  struct Case {
    const char* name;
    uint32_t read_ms;          // what every read takes
    std::size_t failed_reads;  // after the death, the probe included
  };
  // The device dies halfway through the third block: that read keeps its
  // good half and fails, then the probe ends each case.
  const std::vector<Case> cases = {
      // 16 failed reads in a row while copying are news enough.
      {"errors at once", 0, 1 + 15 + 1},
      // Its good half was the last good read; three more failures of 20 s
      // each make a minute of silence.
      {"reads that time out", 20000, 1 + 3 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FailingCard card(40960);
    card.slow.push_back({{0, card.sectors()}, c.read_ms});
    card.death_after_reads = 40;
    card.vanishes = false;
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    job.silence_limit_seconds = 60;
    ImageCopyReport report;
    EXPECT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), err::kNotReady);
    EXPECT_EQ(report.end, ImageCopyEnd::kDeviceSilent);
    EXPECT_EQ(report.probe_reads, 1u);
    ASSERT_GT(card.reads.size(), 40u);
    EXPECT_EQ(card.reads.size() - 40, c.failed_reads);
    // Two good blocks and half of the third.
    EXPECT_EQ(report.rescued_sectors, 2048 * 2 + 1024u);
    RescueStatus status;
    SavedMap(temp / "card.img", card.bytes.size(), &status);
    EXPECT_EQ(status.phase, RescuePhase::kCopying);
  }
}

// A bad area whose sectors take seconds to fail is no dead device: the
// probes that its long silences cause read well, and the area is read to
// its end.
TEST(CopyDiskToImage, SlowBadAreaIsReadToItsEnd) {
  TempDir temp;
  FailingCard card(8192);
  card.bad.push_back({{4000, 1000}, UINT32_MAX});
  card.slow.push_back({{4000, 1000}, 1000});
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  job.silence_limit_seconds = 60;
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), 0);
  EXPECT_EQ(SavedMap(temp / "card.img", card.bytes.size()), card.ExpectedMap());
  EXPECT_EQ(ReadFile(temp / "card.img"), card.ExpectedImage());
  // One probe per sixty failures of a second.
  uint64_t failed = 0;
  for (const PhaseStats& phase : report.phases) failed += phase.failed_reads;
  EXPECT_GE(report.probe_reads, failed / 60 - 1);
  EXPECT_LE(report.probe_reads, failed / 60 + 1);
}

// A continued copy follows the map it finds, also one that ddrescue wrote:
// an edge next to a known bad sector is not trimmed again, finished bytes
// are not read again.
TEST(CopyDiskToImage, FollowsTheMapItFinds) {
  struct Case {
    const char* name;
    const char* map;               // of a card of 64 sectors
    std::vector<SectorRange> bad;  // lasting bad sectors of the card
    std::vector<uint64_t> reads;   // the sectors read, in order
  };
  const std::vector<Case> cases = {
      {"non-trimmed between bad sectors is only scraped",
       "0 * 1\n0 0x1000 +\n0x1000 0x200 -\n0x1200 0x600 *\n0x1800 0x200 -\n0x1A00 0x6600 +\n",
       {{8, 1}, {12, 1}, {10, 1}},
       {9, 10, 11}},
      {"trimming from the front stops at the first bad sector, then from the back",
       "0 * 1\n0 0x1000 +\n0x1000 0x1000 *\n0x2000 0x6000 +\n",
       {{10, 3}},
       {8, 9, 10, 15, 14, 13, 12, 11}},
      {"only the non-tried part is copied", "0 ? 1\n0 0x4000 +\n0x4000 0x4000 ?\n", {}, {32}},
      {"bad sectors stay bad without retries",
       "0 + 1\n0 0x1000 +\n0x1000 0x200 -\n0x1200 0x6E00 +\n",
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    const std::filesystem::path image = temp / "card.img";
    FailingCard card(64);
    for (const SectorRange& range : c.bad) card.bad.push_back({range, UINT32_MAX});
    std::ofstream(MapfilePath(image)) << c.map;
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(card.bytes.data()),
               static_cast<std::streamsize>(card.bytes.size()));
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    ImageCopyReport report;
    ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), 0);
    EXPECT_TRUE(report.continued);
    std::vector<uint64_t> sectors;
    for (const ReadEvent& read : card.reads) sectors.push_back(read.byte_offset / 512);
    EXPECT_EQ(sectors, c.reads);
  }
}

// Sectors that fail a few times may read on a retry pass; the others stay
// bad, and a sector is retried once per pass.
TEST(CopyDiskToImage, RetryPassesRescueSectorsThatReadLater) {
  struct Case {
    const char* name;
    uint32_t failures;
    uint32_t retry_passes;
    bool rescued;
  };
  // Copying and trimming each fail once on the sector.
  const std::vector<Case> cases = {
      {"no retries", 2, 0, false},
      {"one retry is enough", 2, 1, true},
      {"two retries are not enough", 5, 2, false},
      {"the fourth retry is", 5, 4, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FailingCard card(4096);
    card.bad.push_back({{1000, 1}, c.failures});
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    job.retry_passes = c.retry_passes;
    ImageCopyReport report;
    ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), 0);
    EXPECT_EQ(report.unreadable_sectors, c.rescued ? 0u : 1u);
    EXPECT_EQ(report.phases[PhaseIndex(RescuePhase::kRetrying)].reads,
              c.rescued ? c.failures - 2 + 1 : c.retry_passes);
    const std::vector<uint8_t> image = ReadFile(temp / "card.img");
    EXPECT_EQ(std::memcmp(image.data() + 1000 * 512, card.bytes.data() + 1000 * 512, 512) == 0,
              c.rescued);
  }
}

// A map that does not belong to the copy is not followed and nothing is
// written; --fresh starts over instead, as does a map without its image.
TEST(CopyDiskToImage, RefusesAMapOfAnotherCopy) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"another size", "0 ? 1\n0 0x10000 +\n"},
      {"not a map", "hello\n"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    TempDir temp;
    const std::filesystem::path image = temp / "card.img";
    std::ofstream(image) << "old image";
    std::ofstream(MapfilePath(image)) << text;
    FailingCard card(1024);
    DiskHandle disk = card.Open();
    ImageCopyJob job = card.Job();
    ImageCopyReport report;
    EXPECT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), err::kInvalidParameter);
    EXPECT_EQ(report.end, ImageCopyEnd::kMapUnusable);
    EXPECT_TRUE(card.reads.empty());
    EXPECT_EQ(std::filesystem::file_size(image), 9u);

    job.fresh = true;
    ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), 0);
    EXPECT_FALSE(report.continued);
    EXPECT_EQ(ReadFile(image), card.bytes);
    EXPECT_EQ(SavedMap(image, card.bytes.size()), "0-524288:+");
  }
}

TEST(CopyDiskToImage, MapWithoutItsImageIsReplaced) {
  TempDir temp;
  const std::filesystem::path image = temp / "card.img";
  std::ofstream(MapfilePath(image)) << "0 + 1\n0 0x80000 +\n";
  FailingCard card(1024);
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), 0);
  EXPECT_FALSE(report.continued);
  EXPECT_EQ(ReadFile(image), card.bytes);
}

// The progress goes through the phases in order; the last call tells what
// the copy rescued and what it could not.
TEST(CopyDiskToImage, ProgressFollowsThePhases) {
  TempDir temp;
  FailingCard card(8192);
  card.bad = {{{100, 10}, UINT32_MAX}, {{5000, 1}, UINT32_MAX}};
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  job.retry_passes = 1;
  Recorder recorder;
  recorder.Attach(job);
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "card.img", &report), 0);

  std::string phases;
  for (const ImageCopyProgress& call : recorder.calls) {
    const char letter = static_cast<char>(call.phase);
    if (phases.empty() || phases.back() != letter) phases += letter;
  }
  EXPECT_EQ(phases, "?*/-+");
  const ImageCopyProgress& last = recorder.calls.back();
  EXPECT_EQ(last.rescued_bytes, (8192 - 11) * 512u);
  EXPECT_EQ(last.failed_bytes, 11 * 512u);
  EXPECT_EQ(last.bad_areas, 2u);
  EXPECT_EQ(last.percentage, 100);
}

// The time line reads "estimating" until more than five seconds have passed;
// then the remaining time comes from the average speed since the start,
// refreshed every five seconds.
TEST(CopyDiskToImage, RemainingTimeUnknownUntilTheFirstEstimate) {
  TempDir temp;
  FailingCard card(2048 * 10);  // ten blocks of 1 MiB
  // A block is read in sixteen pieces of 64 KiB: two seconds a block.
  card.slow.push_back({{0, card.sectors()}, 125});
  DiskHandle disk = card.Open();
  ImageCopyJob job = card.Job();
  Recorder recorder;
  recorder.Attach(job);
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "t.img", &report), 0);
  // At the start, before each read but the first (the clock moved two
  // seconds), and at the end.
  ASSERT_EQ(recorder.calls.size(), 11u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(recorder.calls[i].remaining_seconds, -1) << "call " << i;
    EXPECT_STREQ(ImageTimeMessageKey(recorder.calls[i].remaining_seconds), "MSG0304");
  }
  // At 6 s, 3 blocks are done at half a MiB a second: 14 s for the other 7;
  // at 12 s, 8 s for the last 4.
  EXPECT_EQ(recorder.calls[3].remaining_seconds, 14);
  EXPECT_STREQ(ImageTimeMessageKey(recorder.calls[3].remaining_seconds), "MSG0305");
  EXPECT_EQ(recorder.calls[5].remaining_seconds, 14);
  EXPECT_EQ(recorder.calls[6].remaining_seconds, 8);
  EXPECT_EQ(recorder.calls.back().remaining_seconds, 0);
  EXPECT_EQ(recorder.calls[1].read_rate_bytes_per_second, kRescueBlockBytes / 2);
}

TEST(CopyDiskToImage, RefusesBeforeAnyDataMoves) {
  TempDir temp;
  std::filesystem::create_directories(temp / "folder.img");
  struct Case {
    const char* name;
    uint64_t first_sector;
    uint64_t sector_count;
    std::filesystem::path target;
  };
  const std::vector<Case> cases = {
      {"range beyond the end", 90, 20, temp / "a.img"},
      {"first sector beyond the end", 101, 0, temp / "b.img"},
      {"target is not a regular file", 0, 0, temp / "folder.img"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailingCard card(100);
    DiskHandle disk = card.Open();
    ImageCopyJob job;
    ImageCopyReport report;
    EXPECT_EQ(CopyDiskToImage(job, disk, c.first_sector, c.sector_count, c.target, &report),
              err::kInvalidParameter);
    EXPECT_TRUE(!std::filesystem::exists(c.target) || std::filesystem::is_directory(c.target));
    EXPECT_FALSE(std::filesystem::exists(MapfilePath(c.target)));
    EXPECT_TRUE(card.reads.empty());
  }
}

// The image of a listed volume starts with the volume's boot sector and
// probes as the same file system.
TEST(CopyDiskToImage, VolumeImageDetectsAsTheSameFileSystem) {
  TempDir temp;
  testing::FakeDiskTree tree(temp / "tree");
  tree.AddDisk("sdb", 8, 16, 80000, true);
  tree.WritePartitionTable("sdb", "label: dos\n8192,71808,c\n");
  tree.FormatFat("sdb", 8192, 71808, 32, "CARD");
  tree.AddPartition("sdb", "sdb1", 1, 17, 8192, 71808);
  ASSERT_FALSE(HasFatalFailure());
  DiskEnumerator enumerator(tree.roots());
  ASSERT_TRUE(enumerator.BuildDiskList());
  PartitionRecord volume;
  ASSERT_TRUE(enumerator.NextEntry(&volume));
  ASSERT_EQ(volume.kind, EntryKind::kVolume);

  ImageCopyJob job;
  job.roots = tree.roots();
  ImageCopyReport report;
  const std::filesystem::path image = temp / "volume.img";
  ASSERT_EQ(CopyDiskToImage(job, static_cast<uint32_t>(volume.disk_number), volume.start,
                            volume.length, image, &report),
            0);
  EXPECT_EQ(std::filesystem::file_size(image), volume.length * 512);
  platform::FileSystemProbe probe;
  ASSERT_TRUE(platform::ProbeFileSystem(image, &probe).ok());
  EXPECT_EQ(platform::FileSystemDisplayName(probe), "FAT32");
  EXPECT_EQ(probe.label, "CARD");
  EXPECT_EQ(ReadFile(image), ReadFile(tree.DevPath("sdb1")));
}

}  // namespace
}  // namespace vexlo
