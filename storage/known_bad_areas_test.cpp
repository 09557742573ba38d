#include "storage/known_bad_areas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "storage/sector_io.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::TempDir;

TEST(KnownBadAreas, FindsTheNextAreaAndCountsTheBytesInARange) {
  const KnownBadAreas areas({{100, 200}, {300, 310}, {1000, 2000}});
  struct Case {
    uint64_t begin;
    uint64_t end;
    uint64_t bytes;
    std::optional<ByteRange> next;  // after `begin`
  };
  const std::vector<Case> cases = {
      {0, 100, 0, ByteRange{100, 200}},          {0, 101, 1, ByteRange{100, 200}},
      {150, 160, 10, ByteRange{100, 200}},       {199, 300, 1, ByteRange{100, 200}},
      {200, 300, 0, ByteRange{300, 310}},        {0, 5000, 100 + 10 + 1000, ByteRange{100, 200}},
      {305, 1500, 5 + 500, ByteRange{300, 310}}, {2000, 9000, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.begin) + "-" + std::to_string(c.end));
    EXPECT_EQ(areas.BytesIn(c.begin, c.end), c.bytes);
    EXPECT_EQ(areas.NextAfter(c.begin), c.next);
  }
}

// The walk of a scan asks, in sectors, how far it may read before an area
// and how far an area reaches; an area that covers part of a sector takes
// the whole sector.
TEST(KnownBadAreas, TellTheSectorsBeforeAndInAnArea) {
  const KnownBadAreas areas({{1024, 1536}, {1600, 1700}, {5000, 5001}});
  struct Case {
    uint64_t sector;
    uint64_t count;
    uint64_t before;
    uint64_t touching;
  };
  const std::vector<Case> cases = {
      {0, 1, 1, 0},  {0, 2, 2, 0},  {0, 10, 2, 0}, {1, 10, 1, 0},     {2, 10, 0, 2}, {2, 1, 0, 1},
      {3, 10, 0, 1}, {4, 10, 5, 0}, {9, 3, 0, 1},  {10, 100, 100, 0}, {4, 5, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sector) + "+" + std::to_string(c.count));
    EXPECT_EQ(areas.SectorsBefore(c.sector, c.count, 512), c.before);
    EXPECT_EQ(areas.SectorsTouching(c.sector, c.count, 512), c.touching);
  }
}

// Every byte the map does not call finished is known bad; an image without
// a readable map has no known bad areas.
TEST(KnownBadAreas, ComeFromTheMapBesideTheImage) {
  struct Case {
    const char* name;
    const char* map;  // empty: no map
    std::vector<ByteRange> expected;
  };
  const std::vector<Case> cases = {
      {"no map", "", {}},
      {"a finished copy", "0 + 1\n0 0x8000 +\n", {}},
      {"bad, untried and failed areas, neighbours joined",
       "0x1000 / 1\n0 0x1000 +\n0x1000 0x200 -\n0x1200 0x600 /\n0x1800 0x800 +\n"
       "0x2000 0x1000 ?\n0x3000 0x5000 +\n",
       {{0x1000, 0x1800}, {0x2000, 0x3000}}},
      // ddrescue's output can be shorter than the medium its map describes.
      {"a map larger than the image", "0 ? 1\n0 0x4000 +\n0x4000 0x8000 *\n", {{0x4000, 0xC000}}},
      {"not a map", "garbage\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    const std::filesystem::path image = temp / "card.img";
    std::ofstream(image, std::ios::binary) << std::string(0x8000, 'x');
    if (*c.map != '\0') std::ofstream(temp / "card.img.map") << c.map;
    const std::shared_ptr<const KnownBadAreas> areas = KnownBadAreasOfImage(image);
    EXPECT_EQ(areas ? areas->ranges() : std::vector<ByteRange>{}, c.expected);

    DiskHandle disk;
    ASSERT_EQ(OpenImageFile(image, &disk), 0);
    EXPECT_EQ(disk.known_bad ? disk.known_bad->ranges() : std::vector<ByteRange>{}, c.expected);
    CloseDiskHandle(disk);
    EXPECT_EQ(disk.known_bad, nullptr);
  }
}

}  // namespace
}  // namespace vexlo
