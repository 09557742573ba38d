#include "storage/medium_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/disk_image.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::TempDir;

struct Expected {
  uint32_t number;
  uint64_t first_sector;
  uint64_t sector_count;
  std::string file_system;
  std::string label;
};

std::vector<Expected> Summary(const MediumLayout& layout) {
  std::vector<Expected> summary;
  for (const MediumPartition& p : layout.partitions) {
    summary.push_back({p.number, p.first_sector, p.sector_count, p.file_system, p.label});
  }
  return summary;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.number == b.number && a.first_sector == b.first_sector &&
         a.sector_count == b.sector_count && a.file_system == b.file_system && a.label == b.label;
}

void PrintTo(const Expected& e, std::ostream* out) {
  *out << e.number << "@" << e.first_sector << "+" << e.sector_count << " '" << e.file_system
       << "' '" << e.label << "'";
}

// A FAT volume of `size_kib` labelled `label`, placed at `start_512`.
std::string PlaceFat(const std::filesystem::path& disk, const TempDir& temp, uint64_t start_512,
                     uint64_t size_kib, int fat_bits, const std::string& label) {
  const std::filesystem::path volume = temp / "volume.img";
  if (std::string error =
          testing::MakeFatImage(volume, {.fat_bits = fat_bits, .size_kib = size_kib});
      !error.empty()) {
    return error;
  }
  if (std::string error = testing::Mtools(volume, "mlabel", {"::" + label}); !error.empty()) {
    return error;
  }
  return testing::PlaceVolume(disk, volume, start_512);
}

TEST(MediumLayout, PartitionTablesOfCardImages) {
  TempDir temp;
  const std::filesystem::path disk = temp / "disk.img";
  const std::filesystem::path exfat = temp / "exfat.img";
  struct Case {
    std::string what;
    std::string table;  // sfdisk script; empty: no table
    std::string table_type;
    std::vector<Expected> expected;
    uint64_t table_written_on_mib = 64;  // more: the image was cut to 64 MiB afterwards
  };
  const std::vector<Case> cases = {
      {"mbr",
       "label: dos\nstart=2048, size=98304, type=c",
       "dos",
       {{1, 2048, 98304, "FAT32", "CARD"}}},
      {"gpt", "label: gpt\nstart=2048, size=98304", "gpt", {{1, 2048, 98304, "FAT32", "CARD"}}},
      {"two partitions",
       "label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=7",
       "dos",
       {{1, 2048, 98304, "FAT32", "CARD"}, {2, 100352, 30720, "exFAT", ""}}},
      {"logical partition in an extended one",
       "label: dos\nstart=2048, size=98304, type=c\nstart=100352, type=5\nstart=102400, type=7",
       "dos",
       {{1, 2048, 98304, "FAT32", "CARD"}, {5, 102400, 28672, "", ""}}},
      {"partition running past the end of a cut image",
       "label: dos\nstart=2048, size=98304, type=c\nstart=100352, size=900000, type=7\n"
       "start=1001000, type=7",
       "dos",
       {{1, 2048, 98304, "FAT32", "CARD"}, {2, 100352, 30720, "exFAT", ""}},
       1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(testing::MakeDiskImage(disk, c.table_written_on_mib, c.table), "");
    std::filesystem::resize_file(disk, 64 << 20);
    ASSERT_EQ(PlaceFat(disk, temp, 2048, 48 * 1024, 32, "CARD"), "");
    if (c.expected.size() > 1 && !c.expected[1].file_system.empty()) {
      testing::ExFatImage volume;
      ASSERT_EQ(volume.Format(exfat, 15, 4096), "");
      ASSERT_EQ(testing::PlaceVolume(disk, exfat, 100352), "");
    }
    MediumLayout layout;
    ASSERT_EQ(ReadImageLayout(disk, &layout), 0);
    EXPECT_EQ(layout.table_type, c.table_type);
    EXPECT_EQ(layout.sector_bytes, 512u);
    EXPECT_EQ(layout.total_sectors, 131072u);
    EXPECT_EQ(Summary(layout), c.expected);
    for (const Expected& e : c.expected) EXPECT_TRUE(layout.Find(e.number)) << e.number;
    EXPECT_FALSE(layout.Find(3));
    ASSERT_TRUE(layout.Find(kWholeMedium));
    EXPECT_EQ(layout.Find(kWholeMedium)->sector_count, 131072u);
  }
}

TEST(MediumLayout, MediumWithoutATableIsOneWholePartition) {
  TempDir temp;
  const std::filesystem::path card = temp / "card.img";
  ASSERT_EQ(testing::MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
  const std::filesystem::path exfat = temp / "exfat.img";
  testing::ExFatImage exfat_volume;
  ASSERT_EQ(exfat_volume.Format(exfat, 16, 4096), "");
  const std::filesystem::path blank = temp / "blank.img";
  ASSERT_EQ(testing::MakeDiskImage(blank, 4, "label: dos"), "");
  std::filesystem::resize_file(blank, 0);
  std::filesystem::resize_file(blank, 4 << 20);
  struct Case {
    std::filesystem::path image;
    Expected expected;
  } cases[] = {
      {card, {kWholeMedium, 0, 32768, "FAT", ""}},
      // Its boot sector ends like an MBR with no partitions.
      {exfat, {kWholeMedium, 0, 32768, "exFAT", ""}},
      {blank, {kWholeMedium, 0, 8192, "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    MediumLayout layout;
    ASSERT_EQ(ReadImageLayout(c.image, &layout), 0);
    EXPECT_EQ(layout.table_type, "");
    EXPECT_EQ(Summary(layout), std::vector<Expected>{c.expected});
  }
  MediumLayout layout;
  EXPECT_EQ(ReadImageLayout(temp / "missing.img", &layout), err::kFileNotFound);
}

}  // namespace
}  // namespace vexlo
