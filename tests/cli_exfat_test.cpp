// The built vexlo-recover on exFAT card images made at test time with
// mkfs.exfat and filled and emptied by the test helper as a driver does it:
// the quick scan lists the deleted files, `recover` writes them back byte for
// byte, the deep scan adds what only carving finds in the free space without
// listing a file twice, and sizes beyond 4 GiB survive the whole way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "carving/test_samples.h"
#include "platform/text.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

// 2023-05-06 07:08:10 local, no UTC offset recorded.
constexpr ExFatStamp kStamp{
    (uint32_t{(43u << 9) | (5u << 5) | 6u} << 16) | ((7u << 11) | (8u << 5) | 5u), 0, 0};

// A JPEG that decodes whole and that carving can bound: its padding holds
// no marker bytes, so nothing inside it looks like another file's start.
std::vector<uint8_t> JpegBytes(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> padding = PatternBytes(size, seed);
  std::replace(padding.begin(), padding.end(), uint8_t{0xFF}, uint8_t{0xFE});
  return carving::samples::JpegOfSize(size, padding);
}

// "path/name size deleted" lines of a JSON scan listing, sorted, or the
// reason it cannot be read.
std::string Summary(const TempDir& temp, const std::string& json) {
  return JsonLines(temp, json,
                   "\"%s%s %d %s\" % (r[\"path\"],r[\"name\"],r[\"size\"],r[\"deleted\"])");
}

// A 32 MiB card: a deleted file with a long non-ASCII name in the root, a
// deleted folder of photos below a live one, a fragmented deleted photo,
// and a deleted photo whose entries a later file took over, so that only
// its data remain.
class CliExFatCard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(card_.Format(image_, 32, 4096), "");
    const uint32_t root = card_.root();
    card_.AddFile(root, u"keep.txt", PatternBytes(5000, 1), ExFatLayout::kChained, kStamp);
    const auto letter = card_.AddFile(root, kLongName, letter_, ExFatLayout::kContiguous, kStamp);
    const auto dcim = card_.AddFolder(root, u"DCIM", kStamp);
    const auto trip = card_.AddFolder(dcim.first_cluster(), u"100 Trip", kStamp);
    const auto first = card_.AddFile(trip.first_cluster(), u"IMG_0001.JPG", trip_photo_,
                                     ExFatLayout::kContiguous, kStamp);
    const auto second = card_.AddFile(dcim.first_cluster(), u"IMG_0002.JPG", fragmented_photo_,
                                      ExFatLayout::kFragmented, kStamp);
    const auto lost =
        card_.AddFile(root, u"lost.jpg", lost_photo_, ExFatLayout::kContiguous, kStamp);
    // new.txt takes over lost.jpg's entries and no clusters, before the
    // other deletions free entries it could take instead.
    card_.Delete(lost);
    card_.AddFile(root, u"new.txt", {}, ExFatLayout::kContiguous, kStamp);
    for (const auto* item : {&letter, &first, &trip, &second}) card_.Delete(*item);
    ASSERT_EQ(card_.Save(), "");
  }

  static constexpr std::u16string_view kLongName =
      u"Grüße aus dem Urlaub – 写真と手紙, Sommer 2023 (Entwurf Nr. 2).txt";
  TempDir temp_;
  ScopedDataHome data_home_{temp_ / "data"};
  std::filesystem::path image_ = temp_ / "card.img";
  ExFatImage card_;
  std::vector<uint8_t> letter_ = PatternBytes(7000, 2);
  std::vector<uint8_t> trip_photo_ = JpegBytes(30000, 3);
  std::vector<uint8_t> fragmented_photo_ = JpegBytes(20000, 4);
  std::vector<uint8_t> lost_photo_ = JpegBytes(12000, 5);
  std::string long_name_ = platform::Utf16ToUtf8(kLongName);
};

TEST_F(CliExFatCard, QuickScanListsTheDeletedFilesAndRecoverWritesThemBack) {
  const ToolRun scan = RunTool(temp_, {"scan", image_.string(), "--json"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(Summary(temp_, scan.out),
            "DCIM/100 Trip/IMG_0001.JPG 30000 True\n"
            "DCIM/IMG_0002.JPG 20000 True\n" +
                long_name_ + " 7000 True\n");

  const std::filesystem::path out = temp_ / "recovered";
  const ToolRun run = RunTool(temp_, {"recover", image_.string(), "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("3 written, 0 failed, 57000 bytes"), std::string::npos) << run.out;
  struct Expected {
    std::filesystem::path path;
    const std::vector<uint8_t>& bytes;
  };
  const Expected expected[] = {
      {out / "photo" / "IMG_0001.JPG", trip_photo_},
      {out / "photo" / "IMG_0002.JPG", fragmented_photo_},
      {out / "document" / long_name_, letter_},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.path);
    EXPECT_EQ(Sha256OfFile(e.path), Sha256OfBytes(e.bytes));
  }
}

TEST_F(CliExFatCard, DeepScanAddsWhatOnlyCarvingFindsAndListsEachFileOnce) {
  const ToolRun deep = RunTool(temp_, {"scan", image_.string(), "--mode", "deep", "--json"});
  ASSERT_EQ(deep.status, 0) << deep.err;
  const std::string found = Summary(temp_, deep.out);
  for (const std::string& line :
       std::vector<std::string>{"DCIM/100 Trip/IMG_0001.JPG 30000 True\n",
                                "DCIM/IMG_0002.JPG 20000 True\n", long_name_ + " 7000 True\n"}) {
    const auto at = found.find(line);
    EXPECT_NE(at, std::string::npos) << line << found;
    EXPECT_EQ(found.find(line, at + 1), std::string::npos) << "listed twice: " << line << found;
  }
  EXPECT_NE(found.find(".jpg 12000 "), std::string::npos) << "the carved photo\n" << found;
  EXPECT_EQ(found.find("30000", found.find("30000") + 1), std::string::npos)
      << "the photo the quick scan found was carved again\n"
      << found;
}

// Size fields beyond 4 GiB on a sparse 16 GiB card: one contiguous and one
// fragmented file of 4 GiB + 1 MiB + 123 bytes with distinct first and last
// MiB and never-touched (zero) bytes between. The image and the recovered
// files stay sparse; only the written MiBs take space.
TEST(CliExFatLarge, SizesBeyondFourGibListAndRecover) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path image = temp / "card.img";
  ExFatImage card;
  ASSERT_EQ(card.Format(image, 16 * 1024, 1 << 20), "");
  struct stat st {};
  ASSERT_EQ(::stat(image.c_str(), &st), 0);
  if (uint64_t(st.st_blocks) * 512 > (uint64_t{256} << 20)) {
    GTEST_SKIP() << "the file system of " << temp.path() << " does not keep files sparse";
  }
  constexpr uint64_t kMiB = 1 << 20;
  constexpr uint64_t kLength = (uint64_t{4} << 30) + kMiB + 123;
  struct Large {
    std::u16string name;
    ExFatLayout layout;
    std::vector<uint8_t> head, tail;
  };
  std::vector<Large> files = {
      {u"Film am Meer – 大.mp4", ExFatLayout::kContiguous, PatternBytes(kMiB, 7),
       PatternBytes(kMiB, 8)},
      {u"pieces.mp4", ExFatLayout::kFragmented, PatternBytes(kMiB, 9), PatternBytes(kMiB, 10)},
  };
  std::string expected;
  std::vector<ExFatItem> items;
  for (const Large& file : files) {
    const auto item = card.AddSparseFile(card.root(), file.name, kLength, file.layout, kStamp);
    ASSERT_FALSE(item.clusters.empty()) << "no room for " << platform::Utf16ToUtf8(file.name);
    card.WriteData(item, 0, file.head);
    card.WriteData(item, kLength - kMiB, file.tail);
    items.push_back(item);
    expected += platform::Utf16ToUtf8(file.name) + " " + std::to_string(kLength) + " True\n";
  }
  for (const auto& item : items) card.Delete(item);
  ASSERT_EQ(card.Save(), "");

  const ToolRun scan = RunTool(temp, {"scan", image.string(), "--json"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(Summary(temp, scan.out), expected);
  const ToolRun text = RunTool(temp, {"scan", image.string()});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("pieces.mp4  " + std::to_string(kLength) + " bytes"), std::string::npos)
      << text.out;

  const std::filesystem::path out = temp / "recovered";
  const ToolRun run = RunTool(temp, {"recover", image.string(), "--to", out.string()});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("2 written, 0 failed, " + std::to_string(2 * kLength) + " bytes"),
            std::string::npos)
      << run.out;
  for (const Large& file : files) {
    const std::filesystem::path copy = out / "video" / platform::Utf16ToUtf8(file.name);
    SCOPED_TRACE(copy);
    ASSERT_EQ(std::filesystem::file_size(copy), kLength);
    EXPECT_EQ(ReadFileBytes(copy, 0, kMiB), file.head);
    EXPECT_EQ(ReadFileBytes(copy, kLength - kMiB, kMiB), file.tail);
    // Between them the file holds the zeros the card holds.
    EXPECT_EQ(ReadFileBytes(copy, (uint64_t{2} << 30) - 4096, 8192), std::vector<uint8_t>(8192, 0));
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, 64 * kMiB) << "the zeros were written out";
  }
}

}  // namespace
}  // namespace vexlo::testing
