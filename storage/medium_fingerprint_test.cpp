#include "storage/medium_fingerprint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kPartitionStart = 2048;  // sectors of the disk before its volume

MediumFingerprint Fingerprint(const fs::path& image, std::string_view identity = {},
                              uint64_t drop_sectors = 0) {
  DiskHandle disk;
  EXPECT_EQ(OpenImageFile(image, &disk), 0);
  MediumFingerprint fingerprint;
  EXPECT_EQ(
      FingerprintMedium(disk, 0, disk.total_sectors - drop_sectors, 512, identity, &fingerprint),
      0);
  return fingerprint;
}

void Flip(const fs::path& image, uint64_t offset) {
  std::vector<uint8_t> byte = testing::ReadFileBytes(image, offset, 1);
  byte[0] ^= 0x5A;
  testing::WriteFileBytes(image, offset, byte);
}

// A FAT volume of `bits` as an image file, or behind an MBR that names it as
// its only partition.
void MakeVolume(const fs::path& image, int bits, bool behind_mbr) {
  const uint64_t kib = bits == 32 ? 40 * 1024 : 16 * 1024;
  ASSERT_EQ(testing::MakeFatImage(image, {.fat_bits = bits, .size_kib = kib}), "");
  ASSERT_EQ(testing::FatWriteFile(image, "/PHOTO.JPG", testing::JpegBytes(5000, 3)), "");
  if (!behind_mbr) return;
  const std::vector<uint8_t> volume = testing::ReadFileBytes(image, 0, kib * 1024);
  fs::remove(image);
  std::vector<uint8_t> mbr(512, 0);
  const uint32_t start = kPartitionStart;
  const auto sectors = static_cast<uint32_t>(volume.size() / 512);
  mbr[446 + 4] = bits == 32 ? 0x0C : 0x06;
  for (int i = 0; i < 4; ++i) {
    mbr[446 + 8 + i] = static_cast<uint8_t>(start >> (8 * i));
    mbr[446 + 12 + i] = static_cast<uint8_t>(sectors >> (8 * i));
  }
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  testing::WriteFileBytes(image, 0, mbr);
  testing::WriteFileBytes(image, kPartitionStart * 512, volume);
}

struct Layout {
  uint64_t volume = 0;  // byte offset of the volume
  testing::FatLayout fat;
  uint64_t size = 0;

  uint64_t RootDirectory() const {
    return volume + (fat.fat32 ? fat.ClusterOffset(fat.root_cluster) : fat.root_offset);
  }
};

// What changes on the medium, and whether the fingerprint must see it.
struct Change {
  const char* label;
  std::function<void(const fs::path&, const Layout&)> apply;
  bool seen;
};

const Change kChanges[] = {
    {"nothing", [](const fs::path&, const Layout&) {}, false},
    {"a data sector in the middle (left to the check of each file)",
     [](const fs::path& image, const Layout& l) { Flip(image, l.volume + l.size / 2); }, false},
    {"the boot sector", [](const fs::path& image, const Layout& l) { Flip(image, l.volume + 43); },
     true},
    {"the first FAT sector",
     [](const fs::path& image, const Layout& l) {
       Flip(image, l.volume + uint64_t{l.fat.reserved_sectors} * 512 + 100);
     },
     true},
    {"the first sector of the root folder",
     [](const fs::path& image, const Layout& l) { Flip(image, l.RootDirectory() + 200); }, true},
    {"the last sector",
     [](const fs::path& image, const Layout&) { Flip(image, fs::file_size(image) - 7); }, true},
};

struct Medium {
  const char* label;
  int bits;
  bool behind_mbr;
};

const Medium kMedia[] = {
    {"fat16_volume", 16, false},
    {"fat32_volume", 32, false},
    {"fat16_on_a_disk", 16, true},
    {"fat32_on_a_disk", 32, true},
};

class MediumFingerprintTest : public ::testing::TestWithParam<Medium> {};

TEST_P(MediumFingerprintTest, SeesTheSectorsAFileSystemRewrites) {
  const Medium& medium = GetParam();
  testing::TempDir dir;
  const fs::path image = dir / "card.img";
  MakeVolume(image, medium.bits, medium.behind_mbr);
  Layout layout;
  layout.volume = medium.behind_mbr ? kPartitionStart * 512 : 0;
  layout.size = fs::file_size(image) - layout.volume;
  if (medium.behind_mbr) {
    const fs::path volume = dir / "volume.img";
    testing::WriteFileBytes(volume, 0, testing::ReadFileBytes(image, layout.volume, 64 * 1024));
    layout.fat = testing::ReadFatLayout(volume);
  } else {
    layout.fat = testing::ReadFatLayout(image);
  }
  const fs::path pristine = dir / "pristine.img";
  fs::copy_file(image, pristine);
  const MediumFingerprint before = Fingerprint(image);

  for (const Change& change : kChanges) {
    SCOPED_TRACE(change.label);
    fs::copy_file(pristine, image, fs::copy_options::overwrite_existing);
    change.apply(image, layout);
    EXPECT_EQ(Fingerprint(image) != before, change.seen);
  }
  if (medium.bits == 32 && !medium.behind_mbr) {
    SCOPED_TRACE("the FSInfo sector");
    fs::copy_file(pristine, image, fs::copy_options::overwrite_existing);
    Flip(image, 512 + 488);  // its free-cluster count
    EXPECT_NE(Fingerprint(image), before);
  }
  fs::copy_file(pristine, image, fs::copy_options::overwrite_existing);
  EXPECT_NE(Fingerprint(image, "ID_SERIAL=another reader\n"), before) << "another device";
  EXPECT_NE(Fingerprint(image, {}, 1), before) << "another length";
}

INSTANTIATE_TEST_SUITE_P(Media, MediumFingerprintTest, ::testing::ValuesIn(kMedia),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(MediumFingerprint, AnUnreadableOrEmptyStretchIsRefused) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "small.img", 0, std::vector<uint8_t>(4096, 1));
  DiskHandle disk;
  ASSERT_EQ(OpenImageFile(dir / "small.img", &disk), 0);
  MediumFingerprint fingerprint;
  EXPECT_EQ(FingerprintMedium(disk, 0, 0, 512, {}, &fingerprint), err::kInvalidParameter);
  EXPECT_EQ(FingerprintMedium(disk, 0, 8, 8192, {}, &fingerprint), err::kInvalidParameter);
  // A stretch that claims more than the file holds still gets a fingerprint:
  // its unreadable last sector counts as such.
  EXPECT_EQ(FingerprintMedium(disk, 0, 16, 512, {}, &fingerprint), 0);
}

}  // namespace
}  // namespace vexlo
