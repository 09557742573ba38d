#include "storage/disk_image_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/sector_source.h"
#include "platform/volume_info.h"
#include "storage/disk_enumerator.h"
#include "tests/support/fake_disk_tree.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::TempDir;

std::vector<uint8_t> RandomBytes(std::size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes(std::filesystem::file_size(path));
  std::ifstream(path, std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string ReadText(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

// A source of `bytes`, optionally with unreadable byte ranges.
DiskHandle OpenMemory(std::vector<uint8_t> bytes, uint32_t sector_bytes,
                      const std::vector<std::pair<uint64_t, uint64_t>>& unreadable = {}) {
  auto faulty = std::make_unique<platform::FaultySectorSource>(
      std::make_unique<platform::MemorySectorSource>(std::move(bytes), sector_bytes));
  for (const auto& [offset, length] : unreadable) faulty->AddUnreadableRange(offset, length);
  DiskHandle disk;
  EXPECT_TRUE(OpenDiskFromSource(std::move(faulty), &disk).ok());
  return disk;
}

struct Call {
  int32_t percentage;
  uint64_t sectors_done;
  uint64_t sectors_total;
  int64_t remaining_seconds;
};

// Records every progress call; answers kCancelCode from call `cancel_at` on.
struct Recorder {
  std::vector<Call> calls;
  std::size_t cancel_at = SIZE_MAX;

  static int32_t Progress(void* user, int32_t percentage, uint64_t done, uint64_t total,
                          int64_t remaining) {
    auto* self = static_cast<Recorder*>(user);
    self->calls.push_back({percentage, done, total, remaining});
    return self->calls.size() >= self->cancel_at ? kCancelCode : 0;
  }
  ImageCopyJob Job() {
    ImageCopyJob job;
    job.progress = &Recorder::Progress;
    job.user = this;
    return job;
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
      {"whole source", 512, 1000, 0, 0, 1000},
      {"middle, not a whole number of pieces", 512, 1000, 37, 300, 300},
      {"rest of the source from a sector", 512, 1000, 900, 0, 100},
      {"last sector only", 512, 1000, 999, 1, 1},
      {"4096-byte sectors", 4096, 100, 3, 40, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    const std::vector<uint8_t> bytes = RandomBytes(c.source_sectors * c.sector_bytes, 7);
    DiskHandle disk = OpenMemory(bytes, c.sector_bytes);
    Recorder recorder;
    ImageCopyJob job = recorder.Job();
    ImageCopyReport report;
    ASSERT_EQ(CopyDiskToImage(job, disk, c.first_sector, c.sector_count, temp / "out.img", &report),
              0);

    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(c.first_sector * c.sector_bytes);
    const std::vector<uint8_t> expected(
        begin, begin + static_cast<std::ptrdiff_t>(c.expected_sectors * c.sector_bytes));
    EXPECT_EQ(ReadFile(temp / "out.img"), expected);
    EXPECT_EQ(report.sectors_copied, c.expected_sectors);
    EXPECT_EQ(report.unreadable_sectors, 0u);
    EXPECT_FALSE(std::filesystem::exists(temp / "out.img.bad"));

    const uint64_t piece = kImageCopyBufferBytes / c.sector_bytes;
    ASSERT_EQ(recorder.calls.size(), (c.expected_sectors + piece - 1) / piece);
    EXPECT_EQ(recorder.calls.back().percentage, 100);
    EXPECT_EQ(recorder.calls.back().sectors_done, c.expected_sectors);
    for (const Call& call : recorder.calls) EXPECT_EQ(call.sectors_total, c.expected_sectors);
  }
}

// Unreadable sectors become zeros, the copy goes on, and the report and the
// map beside the image list them; a later clean copy removes the stale map.
TEST(CopyDiskToImage, UnreadableSectorsAreZeroedAndMapped) {
  TempDir temp;
  constexpr uint32_t kSector = 512;
  const std::vector<uint8_t> bytes = RandomBytes(600 * kSector, 3);
  // Sectors 5-7, 127-129 (across a piece boundary), half of 300, and 599.
  DiskHandle disk = OpenMemory(bytes, kSector,
                               {{5 * kSector, 3 * kSector},
                                {127 * kSector, 3 * kSector},
                                {300 * kSector + 100, 10},
                                {599 * kSector, kSector}});
  ImageCopyJob job;
  ImageCopyReport report;
  const std::filesystem::path image = temp / "card.img";
  ASSERT_EQ(CopyDiskToImage(job, disk, 2, 0, image, &report), 0);

  // Image sectors are source sectors minus 2.
  const std::vector<std::pair<uint64_t, uint64_t>> bad = {{3, 3}, {125, 3}, {298, 1}, {597, 1}};
  std::vector<uint8_t> expected(bytes.begin() + 2 * kSector, bytes.end());
  for (const auto& [first, count] : bad) {
    std::memset(expected.data() + first * kSector, 0, count * kSector);
  }
  EXPECT_EQ(ReadFile(image), expected);
  EXPECT_EQ(report.sectors_copied, 598u);
  EXPECT_EQ(report.unreadable_sectors, 8u);
  EXPECT_EQ(report.unreadable_range_count, 4u);
  ASSERT_EQ(report.unreadable.size(), bad.size());
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_EQ(report.unreadable[i].first_sector, bad[i].first);
    EXPECT_EQ(report.unreadable[i].sector_count, bad[i].second);
  }
  EXPECT_EQ(report.bad_map_path, temp / "card.img.bad");
  const std::string map = ReadText(temp / "card.img.bad");
  EXPECT_NE(map.find("source sector 2."), std::string::npos) << map;
  EXPECT_NE(map.find("\n3 3\n125 3\n298 1\n597 1\n"), std::string::npos) << map;

  DiskHandle clean = OpenMemory(bytes, kSector);
  ASSERT_EQ(CopyDiskToImage(job, clean, 0, 0, image, &report), 0);
  EXPECT_FALSE(std::filesystem::exists(temp / "card.img.bad"));
  EXPECT_EQ(ReadFile(image), bytes);
}

// A cancelled copy keeps what it wrote; an older, larger file is cut to the
// copied size whichever way the copy ends.
TEST(CopyDiskToImage, EndsWithTheImageCutToTheCopiedSize) {
  struct Case {
    const char* name;
    std::size_t cancel_at;
    ErrorCode expected_result;
    uint64_t expected_sectors;
  };
  const std::vector<Case> cases = {
      {"completed", SIZE_MAX, err::kSuccess, 1000},
      {"cancelled at the third piece", 3, kCancelCode, 384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    const std::filesystem::path image = temp / "old.img";
    std::ofstream(image, std::ios::binary) << std::string(3 << 20, '\xFF');
    const std::vector<uint8_t> bytes = RandomBytes(1000 * 512, 11);
    DiskHandle disk = OpenMemory(bytes, 512);
    Recorder recorder;
    recorder.cancel_at = c.cancel_at;
    ImageCopyJob job = recorder.Job();
    ImageCopyReport report;
    EXPECT_EQ(CopyDiskToImage(job, disk, 0, 0, image, &report), c.expected_result);
    EXPECT_EQ(report.sectors_copied, c.expected_sectors);
    const std::vector<uint8_t> expected(bytes.begin(), bytes.begin() + c.expected_sectors * 512);
    EXPECT_EQ(ReadFile(image), expected);
  }
}

// The time line reads "estimating" until more than five seconds have passed;
// then the remaining time comes from the average speed since the start.
TEST(CopyDiskToImage, RemainingTimeUnknownUntilTheFirstEstimate) {
  TempDir temp;
  DiskHandle disk = OpenMemory(std::vector<uint8_t>(128 * 10 * 512), 512);  // 10 pieces
  Recorder recorder;
  ImageCopyJob job = recorder.Job();
  uint64_t now = 0;
  job.clock_ms = [&now] {
    const uint64_t at = now;
    now += 1000;
    return at;
  };
  ImageCopyReport report;
  ASSERT_EQ(CopyDiskToImage(job, disk, 0, 0, temp / "t.img", &report), 0);
  ASSERT_EQ(recorder.calls.size(), 10u);
  // The clock reads 0 at the start and 1000 x n after piece n: pieces 1-4
  // come within the first five seconds.
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(recorder.calls[i].remaining_seconds, -1) << "piece " << i + 1;
    EXPECT_STREQ(ImageTimeMessageKey(recorder.calls[i].remaining_seconds), "MSG0304");
  }
  // At 5,000 ms: 5 pieces in 5 s, so the other 5 pieces take 5 s more; the
  // estimate is kept until the next one, five seconds later.
  for (std::size_t i = 4; i < 9; ++i) {
    EXPECT_EQ(recorder.calls[i].remaining_seconds, 5) << "piece " << i + 1;
    EXPECT_STREQ(ImageTimeMessageKey(recorder.calls[i].remaining_seconds), "MSG0305");
  }
  EXPECT_EQ(recorder.calls[9].remaining_seconds, 0);
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
    DiskHandle disk = OpenMemory(std::vector<uint8_t>(100 * 512), 512);
    ImageCopyJob job;
    ImageCopyReport report;
    EXPECT_EQ(CopyDiskToImage(job, disk, c.first_sector, c.sector_count, c.target, &report),
              err::kInvalidParameter);
    EXPECT_TRUE(!std::filesystem::exists(c.target) || std::filesystem::is_directory(c.target));
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
