// The deep scan's walk over a medium: every sector read once, the results of
// a plain sector-by-sector walk, and bad media that must not stop or crash
// the scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "carving/test_samples.h"
#include "engine/listed_file_count.h"
#include "platform/sector_source.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"
#include "recovery/sector_router.h"
#include "tests/support/fat_image.h"
#include "tests/support/ntfs_image.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

namespace samples = carving::samples;
using samples::EverythingPattern;
using samples::WriteImage;

// A medium in memory that counts the bytes it delivers and may stop
// delivering: from `readable_bytes` on, reads fail (30) or, when
// `ends_early`, deliver nothing as if the medium had shrunk.
class CountingSource final : public platform::SectorSource {
 public:
  struct Shared {
    uint64_t bytes_delivered = 0;
    uint64_t readable_bytes = UINT64_MAX;
    bool ends_early = false;
  };

  CountingSource(const std::vector<uint8_t>& bytes, std::shared_ptr<Shared> shared)
      : inner_(bytes), shared_(std::move(shared)) {}

  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                   std::size_t* bytes_read) override {
    *bytes_read = 0;
    const uint64_t limit = shared_->readable_bytes;
    if (byte_offset >= limit) return shared_->ends_early ? err::kSuccess : err::kReadFault;
    if (data.size() > limit - byte_offset) data = data.first(limit - byte_offset);
    const ErrorCode rc = inner_.ReadAt(byte_offset, data, bytes_read);
    shared_->bytes_delivered += *bytes_read;
    return rc;
  }
  ErrorCode LengthBytes(uint64_t* length_bytes) const override {
    return inner_.LengthBytes(length_bytes);
  }
  ErrorCode Geometry(platform::DeviceGeometry* geometry) const override {
    return inner_.Geometry(geometry);
  }

 private:
  platform::MemorySectorSource inner_;
  std::shared_ptr<Shared> shared_;
};

// Every source the code opens is the given medium, counted.
class CountedMedium {
 public:
  explicit CountedMedium(const std::vector<uint8_t>& bytes)
      : bytes_(bytes), shared_(std::make_shared<CountingSource::Shared>()) {
    platform::SetSourceOpenerForTesting(
        [this](const std::filesystem::path&, std::unique_ptr<platform::SectorSource>* source) {
          *source = std::make_unique<CountingSource>(bytes_, shared_);
          return ErrorCode(err::kSuccess);
        });
  }
  ~CountedMedium() { platform::SetSourceOpenerForTesting({}); }

  CountingSource::Shared& shared() { return *shared_; }

 private:
  std::vector<uint8_t> bytes_;
  std::shared_ptr<CountingSource::Shared> shared_;
};

using testing::RecordKey;

std::multiset<RecordKey> Keys(IFileRecoveryParse& engine) {
  std::vector<FoundFileRecord> records;
  EXPECT_EQ(engine.FindFiles(EverythingPattern(), &records), 0);
  std::multiset<RecordKey> keys;
  for (const auto& r : records) keys.insert(testing::KeyOf(r));
  return keys;
}

struct ScanOutcome {
  ErrorCode result = 0;
  std::multiset<RecordKey> keys;
  uint64_t record_count = 0;
  uint64_t bytes_read = 0;
};

ScanOutcome DeepScan(ScanHistory& history, const std::filesystem::path& image,
                     CountedMedium& medium, uint16_t source_id, bool plain_walk) {
  ScanOutcome outcome;
  auto engine = CreateEngineForImage(history, image, source_id, kFormattedScanMode);
  EXPECT_NE(engine, nullptr);
  if (!engine) return outcome;
  auto* driver = dynamic_cast<CProfessionalRecovery*>(engine.get());
  EXPECT_NE(driver, nullptr);
  if (plain_walk) driver->UsePlainWalkForTesting();
  const uint64_t before = medium.shared().bytes_delivered;
  outcome.result = engine->Scan(nullptr);
  outcome.bytes_read = medium.shared().bytes_delivered - before;
  outcome.keys = Keys(*engine);
  outcome.record_count = engine->GetRecordCount();
  return outcome;
}

// Photos are judged by reading them whole, which the search does; the
// scan's last report, which counts the files the search will list, must not,
// or a card of photos would be read a second time as the scan ends.
TEST(ProfessionalRecoveryWalkTest, TheScanCountsItsListedPhotosWithoutReadingThemAgain) {
  testing::TempDir dir;
  const samples::Bytes photo = samples::MakeWithTool(
      dir.path(), "convert -seed 2 -size 400x300 plasma:fractal -quality 95 p.jpg", "p.jpg");
  if (photo.empty()) GTEST_SKIP() << "ImageMagick not available";
  constexpr int kPhotos = 6;
  const uint64_t photo_sectors = photo.size() / 512 + 8;
  samples::Medium medium(kPhotos * photo_sectors + 64, 3);
  for (int i = 0; i < kPhotos; ++i) medium.Place(32 + i * photo_sectors, photo);
  const auto image = dir / "photos.img";
  WriteImage(image, medium.bytes());
  CountedMedium counted_medium(medium.bytes());

  ScanHistory history(dir / "ScanLog");
  auto engine = CreateEngineForImage(history, image, 0x8000, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_TRUE(CountListedFiles(*engine, "*.jpg"));
  uint64_t counted = 0;
  ASSERT_EQ(engine->SetProgressCallbacks(
                [](void* user, int32_t, int32_t, int32_t, uint64_t, uint64_t, uint64_t found,
                   int32_t) -> int32_t {
                  *static_cast<uint64_t*>(user) = found;
                  return 0;
                },
                nullptr, &counted, 100),
            0);
  uint64_t& delivered = counted_medium.shared().bytes_delivered;
  delivered = 0;
  ASSERT_EQ(engine->Scan(nullptr), 0);
  const uint64_t scan_bytes = std::exchange(delivered, 0);
  std::vector<FoundFileRecord> found;
  ASSERT_EQ(engine->FindFiles("*.jpg", &found), 0);
  const uint64_t search_bytes = delivered;

  EXPECT_EQ(counted, uint64_t{kPhotos});
  ASSERT_EQ(found.size(), std::size_t{kPhotos});
  const uint64_t photo_bytes = kPhotos * photo.size();
  EXPECT_LT(scan_bytes, medium.bytes().size() + photo_bytes / 2);
  EXPECT_GE(search_bytes, photo_bytes) << "the search judges every photo";
  for (const FoundFileRecord& record : found) EXPECT_EQ(uint32_t{record.content_check}, 1u);
}

// Stretches of FAT folders and of NTFS file records, cut from volumes that
// Debian's tools made; none when the tools fail.
std::vector<samples::Bytes> RealMetadata(const testing::TempDir& dir) {
  std::vector<samples::Bytes> pieces;
  const auto collect = [&](const std::filesystem::path& image) {
    const samples::Bytes bytes = samples::ReadFileBytes(image);
    const std::size_t sectors = bytes.size() / 512;
    const auto routed = [&](std::size_t s) {
      return RouteSector(bytes.data() + 512 * s, 512) != SectorRoute::kCarve;
    };
    for (std::size_t s = 0; s < sectors; ++s) {
      if (!routed(s)) continue;
      // A file record's second sector is no record of its own: stretches
      // may have gaps of one sector.
      std::size_t end = s + 1;
      while (end + 1 < sectors && (routed(end) || routed(end + 1))) ++end;
      end = std::min(sectors, end + 1);
      pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(512 * s),
                          bytes.begin() + static_cast<std::ptrdiff_t>(512 * end));
      s = end;
    }
  };
  // Two folders one after the other: the pair of their starts tells the
  // cluster layout, so their files are rebuilt.
  const auto fat = dir / "fat.img";
  if (testing::MakeFatImage(fat, {.fat_bits = 16, .size_kib = 16384}) == "" &&
      testing::Mtools(fat, "mmd", {"::/DCIM"}) == "" &&
      testing::Mtools(fat, "mmd", {"::/DOCS"}) == "" &&
      testing::FatWriteFile(fat, "/DCIM/IMG_0001.JPG", samples::MakeJpeg(3000, true)) == "" &&
      testing::FatWriteFile(fat, "/DOCS/NOTES.TXT", samples::Filler(700)) == "") {
    const samples::Bytes bytes = samples::ReadFileBytes(fat);
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t at = 0; at + 512 <= bytes.size(); at += 512) {
      if (RouteSector(bytes.data() + at, 512) != SectorRoute::kFatDirectoryStart) continue;
      if (first == 0) first = at;
      last = at;
    }
    if (first != 0) {
      pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                          bytes.begin() + static_cast<std::ptrdiff_t>(last + 4096));
    }
  }
  const auto ntfs = dir / "ntfs.img";
  if (testing::NtfsToolsAvailable() && testing::MakeNtfsImage(ntfs, 8 << 20) == "" &&
      testing::NtfsWriteFile(ntfs, "/photo.jpg", samples::MakeJpeg(5000, true)) == "" &&
      testing::NtfsWriteFile(ntfs, "/song.mp3", samples::MakeMp3(9000, true)) == "") {
    collect(ntfs);
  }
  return pieces;
}

class DeepScanWalkTest : public ::testing::TestWithParam<uint32_t> {};

// A raw medium full of files and file-system debris: the deep scan finds
// what the plain walk finds, reading the medium once.
TEST_P(DeepScanWalkTest, FindsWhatThePlainWalkFindsReadingEverySectorOnce) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto debris = RealMetadata(dir);
  samples::Medium medium = samples::MakeVariedMedium(32 * 1024, GetParam(), debris);
  CountedMedium counted(medium.bytes());
  const uint16_t id = static_cast<uint16_t>(0x8100 + 2 * GetParam());
  WriteImage(dir / "walk.img", medium.bytes());
  WriteImage(dir / "plain.img", medium.bytes());

  const ScanOutcome walk = DeepScan(history, dir / "walk.img", counted, id, false);
  const ScanOutcome plain = DeepScan(history, dir / "plain.img", counted, id + 1, true);
  ASSERT_EQ(walk.result, 0);
  ASSERT_EQ(plain.result, 0);
  EXPECT_GE(plain.keys.size(), 100u) << "the medium should hold many files";
  std::set<uint32_t> kinds;
  for (const auto& key : plain.keys) kinds.insert(std::get<0>(key));
  EXPECT_TRUE(kinds.count(static_cast<uint32_t>(FsKind::kCarving)));
  if (testing::NtfsToolsAvailable()) {
    EXPECT_TRUE(kinds.count(static_cast<uint32_t>(FsKind::kNtfsFormatted))) << "NTFS rebuilds";
  }
  EXPECT_TRUE(kinds.count(static_cast<uint32_t>(FsKind::kFatFormatted))) << "FAT rebuilds";
  EXPECT_EQ(walk.keys, plain.keys);
  EXPECT_EQ(walk.record_count, plain.record_count);
  EXPECT_LE(static_cast<double>(walk.bytes_read) / static_cast<double>(medium.bytes().size()),
            1.01);
}

INSTANTIATE_TEST_SUITE_P(Seeds, DeepScanWalkTest, ::testing::Values(4u, 5u));

// A medium that fails or ends in the middle: the scan goes on behind a
// failing stretch, keeps what it found before it and never crashes.
struct FaultCase {
  const char* label;
  uint64_t readable_sectors;
  bool ends_early;
};

const FaultCase kFaults[] = {
    {"fails_from_the_middle", 3000, false},
    {"shrinks_in_the_middle", 3000, true},
    {"fails_inside_a_file", 1010, false},
    {"shrinks_inside_a_file", 1010, true},
};

class DeepScanFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DeepScanFaultTest, KeepsWhatWasFoundBeforeTheFault) {
  const FaultCase& c = GetParam();
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(6000, 3);
  medium.Place(100, samples::MakeWav(20'000));
  medium.Place(1000, samples::MakeMp3(30'000, true));
  medium.Place(5000, samples::MakeWav(10'000));
  const auto image = dir / "faulty.img";
  WriteImage(image, medium.bytes());
  CountedMedium counted(medium.bytes());
  auto engine = CreateEngineForImage(history, image, 0x8200, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  counted.shared().readable_bytes = c.readable_sectors * 512;
  counted.shared().ends_early = c.ends_early;
  EXPECT_EQ(engine->Scan(nullptr), 0) << c.label;
  std::set<std::string> names;
  for (const auto& key : Keys(*engine)) names.insert(std::get<1>(key));
  EXPECT_TRUE(names.count("100.wav")) << c.label;
  EXPECT_TRUE(names.count("1000.mp3")) << c.label;
  EXPECT_FALSE(names.count("5000.wav")) << c.label << ": nothing could be read there";
}

INSTANTIATE_TEST_SUITE_P(Faults, DeepScanFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.label); });

// One line of a ddrescue map, in sectors of 512 bytes.
std::string MapLine(uint64_t first_sector, uint64_t sectors, char status) {
  char line[64];
  std::snprintf(line, sizeof line, "0x%llx 0x%llx %c\n",
                static_cast<unsigned long long>(first_sector * 512),
                static_cast<unsigned long long>(sectors * 512), status);
  return line;
}

struct Heard {
  std::map<std::string, uint64_t> unreadable;  // by file name, at 100 %
};

int32_t OnRecovery(void* user, int32_t percent, int32_t, int32_t code, const char* name,
                   uint64_t unreadable_bytes) {
  if (percent == 100 && code == 0) {
    static_cast<Heard*>(user)->unreadable[std::filesystem::path(name).filename()] =
        unreadable_bytes;
  }
  return 0;
}

// An image whose copy left holes: the scan finds nothing in them, a file
// that runs through one is listed as damaged, and its recovery says how
// many of its bytes are the hole's zeros.
TEST(DeepScanOfAnImageWithHoles, SkipsTheHolesAndMarksTheFilesThatTouchThem) {
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  samples::Medium medium(4000);
  medium.Place(100, samples::MakeWav(20'000));
  medium.Place(1000, samples::MakeWav(60'000));  // sectors 1000-1117
  // What the map calls untried is no data of the card, whatever the image
  // holds there.
  medium.Place(2000, samples::MakeWav(10'000));
  medium.Place(3000, samples::MakeWav(10'000));
  const auto image = dir / "card.img";
  WriteImage(image, medium.bytes());
  std::ofstream(dir / "card.img.map")
      << "# Mapfile\n0x0 + 1\n"
      << MapLine(0, 1050, '+') << MapLine(1050, 10, '-') << MapLine(1060, 930, '+')
      << MapLine(1990, 110, '?') << MapLine(2100, 1900, '+');

  auto engine = CreateEngineForImage(history, image, 0x8280, kFormattedScanMode);
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->Scan(nullptr), 0);
  std::vector<FoundFileRecord> records;
  ASSERT_EQ(engine->FindFiles(EverythingPattern(), &records), 0);
  std::map<std::string, FoundFileRecord> found;
  for (const FoundFileRecord& record : records) {
    EXPECT_FALSE(record.entry_sector >= 1990 && record.entry_sector < 2100) << record.Name();
    found[std::string(record.Name())] = record;
  }
  ASSERT_EQ(found.count("100.wav"), 1u);
  ASSERT_EQ(found.count("1000.wav"), 1u);
  ASSERT_EQ(found.count("3000.wav"), 1u);
  EXPECT_EQ(uint32_t{found["100.wav"].content_check}, 1u);
  EXPECT_EQ(uint32_t{found["1000.wav"].content_check}, 0u);
  EXPECT_EQ(uint32_t{found["3000.wav"].content_check}, 1u);

  Heard heard;
  ASSERT_EQ(engine->SetProgressCallbacks(nullptr, OnRecovery, &heard, 100), 0);
  for (const char* name : {"100.wav", "1000.wav"}) {
    EXPECT_EQ(engine->RecoverFile(found[name], dir / "out" / name, 0), 0) << name;
  }
  EXPECT_EQ(heard.unreadable,
            (std::map<std::string, uint64_t>{{"100.wav", 0}, {"1000.wav", 10 * 512}}));
}

// Sources the factory must refuse or hand to the right engine.
struct ProbeCase {
  const char* label;
  uint64_t readable_bytes;
  bool locked;  // a FAT boot sector carrying the BitLocker signature
  bool quick_engine;
  bool deep_engine;
};

const ProbeCase kProbes[] = {
    {"probe_shorter_than_16_kib", 8192, false, false, true},
    {"probe_of_exactly_16_kib", 16384, false, true, true},
    {"locked_fat_volume", UINT64_MAX, true, false, true},
};

class FactoryProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(FactoryProbeTest, CreatesTheRightEngineOrNone) {
  const ProbeCase& c = GetParam();
  testing::TempDir dir;
  ScanHistory history(dir / "ScanLog");
  const auto image = dir / "card.img";
  ASSERT_EQ(testing::MakeFatImage(image, {.fat_bits = 12, .size_kib = 4096}), "");
  std::vector<uint8_t> bytes = samples::ReadFileBytes(image);
  if (c.locked) std::memcpy(bytes.data() + 3, "-FVE-FS-", 8);
  WriteImage(image, bytes);
  CountedMedium counted(bytes);
  counted.shared().readable_bytes = c.readable_bytes;

  auto quick = CreateEngineForImage(history, image, 0x8300, kQuickScanMode);
  EXPECT_EQ(quick != nullptr, c.quick_engine) << c.label;
  auto deep = CreateEngineForImage(history, image, 0x8301, kFormattedScanMode);
  EXPECT_EQ(deep != nullptr, c.deep_engine) << c.label;
  if (deep) {
    EXPECT_NE(dynamic_cast<CProfessionalRecovery*>(deep.get()), nullptr);
    EXPECT_EQ(deep->Scan(nullptr), 0) << c.label;
  }
}

INSTANTIATE_TEST_SUITE_P(Probes, FactoryProbeTest, ::testing::ValuesIn(kProbes),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vexlo
