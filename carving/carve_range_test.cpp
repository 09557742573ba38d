// The carving walk reads every sector of the medium once, and finds exactly
// what a plain walk finds that reads and identifies sector after sector and
// resumes right behind every carved file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "carving/file_type_recovery.h"
#include "carving/test_samples.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using Key = std::tuple<uint64_t, uint64_t, std::string>;

constexpr uint32_t kSector = 512;

std::vector<Key> Keys(CFileTypeRecovery& engine) {
  std::vector<FoundFileRecord> records;
  EXPECT_EQ(engine.ListFolder(nullptr, 0, &records), 0);
  std::vector<Key> keys;
  for (const FoundFileRecord& r : records) {
    keys.emplace_back(uint64_t{r.entry_sector}, uint64_t{r.size}, std::string(r.Name()));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// A disk over the medium whose source counts the bytes it delivers.
DiskHandle CountingDisk(samples::Medium& medium, uint32_t sector_bytes,
                        platform::FaultySectorSource** counter) {
  auto source = std::make_unique<platform::FaultySectorSource>(
      std::make_unique<platform::MemorySectorSource>(medium.bytes(), sector_bytes));
  *counter = source.get();
  DiskHandle disk;
  EXPECT_EQ(OpenDiskFromSource(std::move(source), &disk), 0);
  return disk;
}

struct WalkCase {
  uint32_t seed;
  uint32_t sector_bytes;
};

class CarveRangeTest : public ::testing::TestWithParam<WalkCase> {
 protected:
  testing::TempDir work_;
  ScanHistory history_{work_ / "ScanLog"};
};

TEST_P(CarveRangeTest, FindsWhatThePlainWalkFindsReadingEverySectorOnce) {
  const uint32_t sector_bytes = GetParam().sector_bytes;
  samples::Medium medium = samples::MakeVariedMedium(48 * 1024, GetParam().seed);
  const uint64_t sectors = medium.bytes().size() / sector_bytes;

  CFileTypeRecovery walk(history_);
  walk.set_sector_bytes(sector_bytes);
  platform::FaultySectorSource* counter = nullptr;
  walk.disk() = CountingDisk(medium, sector_bytes, &counter);
  ASSERT_EQ(walk.StartScan(nullptr), 0);
  ASSERT_EQ(walk.CarveRange(0, sectors), 0);
  const double bytes_per_medium_byte =
      static_cast<double>(counter->bytes_delivered()) / static_cast<double>(medium.bytes().size());

  // The plain walk: one sector read at a time, identified, and the walk
  // resumes behind the file; every length search reads again what the walk
  // reads after it.
  CFileTypeRecovery plain(history_);
  platform::FaultySectorSource* unused = nullptr;
  DiskHandle disk = CountingDisk(medium, sector_bytes, &unused);
  ASSERT_EQ(plain.StartScan(nullptr), 0);
  std::vector<uint8_t> sector(sector_bytes);
  uint64_t found = 0;
  for (uint64_t s = 0; s < sectors;) {
    uint64_t read = 0;
    ASSERT_EQ(ReadSectors(1, disk, sector.data(), s, sector_bytes, &read), 0);
    uint64_t skip = 1;
    (void)plain.CarveSector(sector_bytes, sector.data(), sector_bytes, s, {s, sectors, -1}, disk,
                            &skip, &found);
    s += skip;
  }

  const std::vector<Key> expected = Keys(plain);
  EXPECT_GE(expected.size(), sector_bytes == kSector ? 100u : 20u) << "many files";
  EXPECT_EQ(Keys(walk), expected);
  // With 4 KiB sectors the Office-archive test looks 80 KiB ahead of a ZIP
  // header, past what the walk holds; those sectors are read again.
  EXPECT_LE(bytes_per_medium_byte, sector_bytes == kSector ? 1.01 : 1.02);
}

INSTANTIATE_TEST_SUITE_P(Media, CarveRangeTest,
                         ::testing::Values(WalkCase{1, 512}, WalkCase{2, 512}, WalkCase{3, 512},
                                           WalkCase{1, 4096}),
                         [](const auto& info) {
                           return "seed" + std::to_string(info.param.seed) + "_sector" +
                                  std::to_string(info.param.sector_bytes);
                         });

// A file or sector laid on the medium at `sector`.
struct Placed {
  uint64_t sector;
  samples::Bytes bytes;
};

// Where the walk goes on after a file carved at sector 10: behind the file,
// or as far as the file's length search vouches that nothing would be found.
struct ResumeCase {
  const char* label;
  std::vector<Placed> lay_out;
  uint64_t resume;
};

// A sector that the walk (in this test) gives to another handler.
bool MarkedForElsewhere(const uint8_t* sector, std::size_t) {
  return std::memcmp(sector, "ELSEWHERE", 9) == 0;
}

samples::Bytes Marked() {
  samples::Bytes b = samples::Filler(kSector, 5);
  std::memcpy(b.data(), "ELSEWHERE", 9);
  return b;
}

// An MPEG pack with no end code of its own.
samples::Bytes PackWithoutEndCode() {
  samples::Bytes pack = samples::MakeMpegProgramStream(100);
  pack.resize(pack.size() - 4);
  return pack;
}

const ResumeCase kResumeCases[] = {
    {"unclean_jpeg_clear_up_to_the_next_start",
     {{10, samples::MakeJpeg(2000, false)}, {300, samples::MakeWav(100)}},
     300},
    {"clean_jpeg_search_went_on_to_the_next_start",
     {{10, samples::MakeJpeg(2000, true)}, {200, samples::MakeWav(100)}},
     200},
    {"sector_of_another_handler_is_not_passed_over",
     {{10, samples::MakeJpeg(2000, true)}, {100, Marked()}, {200, samples::MakeWav(100)}},
     100},
    {"sector_of_another_handler_inside_the_file_is_no_matter",
     {{10, samples::MakeJpeg(2000, true)}, {12, Marked()}, {200, samples::MakeWav(100)}},
     14},
    {"stops_at_metadata",
     {{10, samples::MakeMp3(3000, false)}, {150, samples::MakeNtfsFileRecord()}},
     150},
    {"header_field_format_resumes_at_the_next_sector", {{10, samples::MakeWav(5000)}}, 11},
    {"pack_header_an_mpeg_search_ignored_is_not_passed_over",
     {{10, samples::MakeMpegProgramStream(4000)},
      {30, PackWithoutEndCode()},
      {250, samples::MakeWav(100)}},
     30},
};

class ResumeTest : public ::testing::TestWithParam<ResumeCase> {};

TEST_P(ResumeTest, ResumesWhereTheWalkWouldFindSomething) {
  const ResumeCase& c = GetParam();
  testing::TempDir work;
  ScanHistory history(work / "ScanLog");
  samples::Medium medium(400);
  std::fill(medium.bytes().begin(), medium.bytes().end(), 'x');
  for (const Placed& placed : c.lay_out) medium.Place(placed.sector, placed.bytes);
  CFileTypeRecovery engine(history);
  engine.SetHandledElsewhere(MarkedForElsewhere);
  ASSERT_EQ(engine.StartScan(nullptr), 0);
  DiskHandle disk = medium.Open();
  uint64_t skip = 0;
  uint64_t found = 0;
  ASSERT_EQ(engine.CarveSector(kSector, medium.bytes().data() + 10 * kSector, kSector, 10, {}, disk,
                               &skip, &found),
            0)
      << c.label;
  EXPECT_EQ(engine.ResumeSector(10, skip), c.resume) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Cases, ResumeTest, ::testing::ValuesIn(kResumeCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vexlo
