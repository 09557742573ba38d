#include "recovery/sector_router.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "carving/metadata_sector.h"
#include "carving/test_samples.h"
#include "tests/support/fat_image.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;

// The length searches ask the cheap form of the routing question only about
// sectors that carving's metadata test refused. On those it must answer as
// the router does, and every sector the router gives to the NTFS or FAT
// rebuilders as records or directory data must be metadata to carving, or a
// carved file could run over it. Checked on every kind of routed sector,
// each mutated in the bytes the tests look at.
TEST(SectorRouterTest, CheapQuestionAnswersAsTheRouterOnSectorsThatAreNoMetadata) {
  for (const uint32_t sector_bytes : {512u, 4096u}) {
    samples::Bytes folder_record = samples::MakeRoutedNtfsFileRecord(sector_bytes);
    folder_record[22] = 0x03;
    // A folder's first sector: the "." / ".." pair, then more entries (FAT
    // directory data as well) or bytes that are no entries.
    samples::Bytes folder_start(sector_bytes, 0);
    const testing::RawDirEntry dot = testing::ShortEntry(".          ", 0x10, 5, 0);
    const testing::RawDirEntry dot_dot = testing::ShortEntry("..         ", 0x10, 0, 0);
    std::copy(dot.begin(), dot.end(), folder_start.begin());
    std::copy(dot_dot.begin(), dot_dot.end(), folder_start.begin() + 32);
    samples::Bytes folder_start_then_data = samples::Filler(sector_bytes, 9);
    std::copy(folder_start.begin(), folder_start.begin() + 64, folder_start_then_data.begin());
    samples::Bytes boot(sector_bytes, 0);
    const std::string_view jump_and_name = "\xEB\x52\x90NTFS    ";
    std::copy(jump_and_name.begin(), jump_and_name.end(), boot.begin());
    const std::vector<samples::Bytes> seeds = {
        samples::MakeRoutedNtfsFileRecord(sector_bytes),
        folder_record,
        folder_start,
        folder_start_then_data,
        samples::MakeFatDirectorySector(sector_bytes),
        boot,
        samples::Filler(sector_bytes, 5),
        samples::Bytes(sector_bytes, 0),
    };
    std::mt19937 random(sector_bytes);
    int routed_away = 0;
    int cheap_only = 0;
    for (const samples::Bytes& seed : seeds) {
      for (int round = 0; round < 3000; ++round) {
        samples::Bytes sector = seed;
        // One or two bytes of those the tests look at: the first two
        // entries and the record header, or the update sequence number at
        // the end; none in the first round.
        const int mutations = round == 0 ? 0 : 1 + static_cast<int>(random() % 2);
        for (int m = 0; m < mutations; ++m) {
          const std::size_t at =
              random() % 8 == 0 ? sector_bytes - 1 - random() % 2 : random() % 64;
          sector[at] = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
        }
        const SectorRoute route = RouteSector(sector.data(), sector_bytes);
        const bool metadata = carving::MetadataSectorTest(sector.data(), sector_bytes);
        routed_away += route != SectorRoute::kCarve;
        if (route == SectorRoute::kNtfsFileRecord || route == SectorRoute::kNtfsFolderRecord ||
            route == SectorRoute::kFatDirectoryData) {
          ASSERT_TRUE(metadata) << "seed " << (&seed - seeds.data()) << ", round " << round;
        }
        if (metadata) continue;
        const bool cheap = RoutedAwayFromCarvingUnlessMetadata(sector.data(), sector_bytes);
        ASSERT_EQ(cheap, route != SectorRoute::kCarve)
            << "seed " << (&seed - seeds.data()) << ", round " << round;
        cheap_only += cheap;
      }
    }
    // Many mutated sectors stay routed, and directory starts followed by no
    // entries are no metadata, so both answers are exercised.
    EXPECT_GT(routed_away, 2000) << sector_bytes;
    EXPECT_GT(cheap_only, 200) << sector_bytes;
  }
}

}  // namespace
}  // namespace vexlo
