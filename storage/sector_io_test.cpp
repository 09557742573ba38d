#include "storage/sector_io.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

std::vector<uint8_t> Pattern(std::size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 512);
  return data;
}

// A disk over memory with faults; `faulty` stays valid while `disk` lives.
struct FaultyDisk {
  explicit FaultyDisk(std::size_t bytes) {
    auto inner = std::make_unique<platform::MemorySectorSource>(Pattern(bytes));
    auto wrapper = std::make_unique<platform::FaultySectorSource>(std::move(inner));
    faulty = wrapper.get();
    EXPECT_EQ(OpenDiskFromSource(std::move(wrapper), &disk), 0);
  }
  DiskHandle disk;
  platform::FaultySectorSource* faulty = nullptr;
};

TEST(ReadSectorsTest, BoundsRule) {
  struct Case {
    const char* what;
    uint64_t start;
    uint64_t count;
    int32_t code;
    uint64_t read;
  };
  // 64 sectors of 512 bytes.
  const Case cases[] = {
      {"ends exactly at the last sector", 60, 4, 0, 4},
      {"one sector past the end", 61, 4, err::kInvalidParameter, 0},
      {"start beyond the end", 65, 0, err::kInvalidParameter, 0},
      {"count that would wrap around", 1, UINT64_MAX, err::kInvalidParameter, 0},
      {"zero sectors", 10, 0, 0, 0},
      {"whole disk", 0, 64, 0, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultyDisk fixture(64 * 512);
    std::vector<uint8_t> buffer(64 * 512, 0xEE);
    uint64_t read = 99;
    EXPECT_EQ(ReadSectors(c.count, fixture.disk, buffer.data(), c.start, 512, &read), c.code);
    EXPECT_EQ(read, c.read);
    if (c.code != 0) {
      EXPECT_EQ(fixture.faulty->read_calls(), 0u) << "a refused read must not touch the medium";
      EXPECT_EQ(buffer, std::vector<uint8_t>(64 * 512, 0xEE)) << "buffer must stay untouched";
    }
  }
}

TEST(ReadSectorsTest, SplitsIntoPiecesAndCompletesShortReads) {
  FaultyDisk fixture(1 << 20);
  fixture.faulty->set_max_read_bytes(3000);  // a device that returns short transfers
  std::vector<uint8_t> buffer(300 * 512);
  uint64_t read = 0;
  ASSERT_EQ(ReadSectors(300, fixture.disk, buffer.data(), 100, 512, &read), 0);
  EXPECT_EQ(read, 300u);
  const auto expected = Pattern(1 << 20);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), expected.begin() + 100 * 512));
  EXPECT_GE(fixture.faulty->read_calls(), 300u * 512 / 3000);
}

TEST(ReadSectorsTest, NoSystemReadExceedsPieceSize) {
  // A source that records the largest request it was given.
  class Recording : public platform::SectorSource {
   public:
    ErrorCode ReadAt(uint64_t, std::span<uint8_t> data, std::size_t* got) override {
      largest = std::max(largest, data.size());
      *got = data.size();
      return 0;
    }
    ErrorCode LengthBytes(uint64_t* length) const override {
      *length = uint64_t{1} << 30;
      return 0;
    }
    ErrorCode Geometry(platform::DeviceGeometry* g) const override {
      *g = {};
      g->valid = true;
      return 0;
    }
    std::size_t largest = 0;
  };
  auto source = std::make_unique<Recording>();
  Recording* recording = source.get();
  DiskHandle disk;
  ASSERT_EQ(OpenDiskFromSource(std::move(source), &disk), 0);
  std::vector<uint8_t> buffer(16 << 20);
  uint64_t read = 0;
  ASSERT_EQ(ReadSectors(buffer.size() / 512, disk, buffer.data(), 0, 512, &read), 0);
  EXPECT_EQ(recording->largest, kReadPieceBytes);
}

TEST(ReadSectorsTest, UnreadableSectorKeepsWholeSectorsBeforeIt) {
  FaultyDisk fixture(256 * 512);
  // The bad spot starts in the middle of sector 70: sectors 10..69 arrive.
  fixture.faulty->AddUnreadableRange(70 * 512 + 100, 512);
  std::vector<uint8_t> buffer(100 * 512);
  uint64_t read = 0;
  EXPECT_EQ(ReadSectors(100, fixture.disk, buffer.data(), 10, 512, &read), err::kReadFault);
  EXPECT_EQ(read, 60u);
  const auto expected = Pattern(256 * 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 60 * 512, expected.begin() + 10 * 512));
}

TEST(ReadSectorsTest, EmptyReadIsReadFault) {
  // The device claims more sectors than it delivers (a card that shrank).
  FaultyDisk fixture(32 * 512);
  fixture.disk.total_sectors = 64;
  std::vector<uint8_t> buffer(40 * 512);
  uint64_t read = 0;
  EXPECT_EQ(ReadSectors(40, fixture.disk, buffer.data(), 0, 512, &read), err::kReadFault);
  EXPECT_EQ(read, 32u);
}

TEST(ReadSectorsTest, ClosedHandleIsRefused) {
  DiskHandle disk;
  uint8_t buffer[512];
  uint64_t read = 0;
  EXPECT_EQ(ReadSectors(1, disk, buffer, 0, 512, &read), err::kInvalidParameter);
}

TEST(OpenDiskTest, SizedByGeometryWhenLengthQueryFails) {
  auto inner = std::make_unique<platform::MemorySectorSource>(Pattern(4096));
  auto faulty = std::make_unique<platform::FaultySectorSource>(std::move(inner));
  faulty->set_fail_length(true);
  platform::DeviceGeometry geometry;
  geometry.valid = true;
  geometry.bytes_per_sector = 512;
  geometry.cylinders = 10;
  geometry.tracks_per_cylinder = 4;
  geometry.sectors_per_track = 63;
  faulty->set_geometry(geometry);
  DiskHandle disk;
  ASSERT_EQ(OpenDiskFromSource(std::move(faulty), &disk), 0);
  EXPECT_EQ(disk.total_sectors, 10u * 4 * 63);
}

TEST(OpenDiskTest, FailedGeometryLeavesHandleOpenForOwner) {
  auto inner = std::make_unique<platform::MemorySectorSource>(Pattern(4096));
  auto faulty = std::make_unique<platform::FaultySectorSource>(std::move(inner));
  faulty->set_fail_geometry(true);
  DiskHandle disk;
  EXPECT_NE(OpenDiskFromSource(std::move(faulty), &disk), 0);
  EXPECT_TRUE(disk.is_open());
  CloseDiskHandle(disk);
  EXPECT_FALSE(disk.is_open());
  CloseDiskHandle(disk);  // closing twice is harmless
}

TEST(OpenImageFileTest, ExposesOnlyWholeSectors) {
  testing::TempDir dir;
  const auto path = dir / "card.img";
  {
    std::ofstream out(path, std::ios::binary);
    const auto bytes = Pattern(10 * 512 + 300);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  DiskHandle disk;
  ASSERT_EQ(OpenImageFile(path, &disk), 0);
  EXPECT_EQ(disk.total_sectors, 10u);
  std::vector<uint8_t> buffer(512);
  uint64_t read = 0;
  EXPECT_EQ(ReadSectors(1, disk, buffer.data(), 9, 512, &read), 0);
  EXPECT_EQ(ReadSectors(1, disk, buffer.data(), 10, 512, &read), err::kInvalidParameter);
}

TEST(OpenImageFileTest, MissingFileGivesSystemCode) {
  DiskHandle disk;
  EXPECT_EQ(OpenImageFile("/nonexistent/card.img", &disk), err::kFileNotFound);
  EXPECT_FALSE(disk.is_open());
}

TEST(OpenPhysicalDiskTest, UnknownDiskNumber) {
  testing::TempDir dir;
  platform::SysfsRoots roots;
  roots.sys_block = dir.path();
  DiskHandle disk;
  EXPECT_EQ(OpenPhysicalDisk(0, &disk, roots), err::kFileNotFound);
}

}  // namespace
}  // namespace vexlo
