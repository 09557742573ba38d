// vexlo-recover on media that are not what they seem: another card in place
// of the one scanned before (as an image file at the same path, and as the
// same loop device), a file whose data end before its size, and an image too
// small for any file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "ondisk/endian.h"
#include "platform/non_copyable.h"
#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

namespace fs = std::filesystem;

// Two FAT16 cards of one size and one volume id (mkfs.fat --invariant), each
// with a deleted photo of its own.
class TwoCards : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeCard(card_a_, "/HOLIDAY.JPG", holiday_);
    MakeCard(card_b_, "/BIRTHDAY.JPG", birthday_);
  }

  static void MakeCard(const fs::path& card, const std::string& name,
                       const std::vector<uint8_t>& photo) {
    ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
    ASSERT_EQ(FatWriteFile(card, name, photo), "");
    ASSERT_EQ(Mtools(card, "mdel", {"::" + name}), "");
  }

  // Deep scan, then recover, of `source`; the scan's stderr and the recovery's
  // stdout.
  ToolRun DeepRecover(const std::string& source, const fs::path& to) {
    return RunTool(temp_, {"recover", source, "--mode", "deep", "--to", to.string()});
  }

  TempDir temp_;
  ScopedDataHome data_home_{temp_ / "data"};
  fs::path card_a_ = temp_ / "a.img";
  fs::path card_b_ = temp_ / "b.img";
  std::vector<uint8_t> holiday_ = JpegBytes(20000, 41);
  std::vector<uint8_t> birthday_ = JpegBytes(30000, 42);
};

// What a recovery of card B must give: B's own photo, nothing of A, and no
// continuation of A's scan.
void ExpectCardB(const ToolRun& run, const fs::path& to, const std::vector<uint8_t>& birthday) {
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(run.err.find("continued the saved scan"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("oliday"), std::string::npos) << run.out;
  bool found = false;
  for (const auto& entry : fs::recursive_directory_iterator(to)) {
    if (entry.path().filename() == "!irthday.jpg") {
      found = true;
      EXPECT_EQ(Sha256OfFile(entry.path()), Sha256OfBytes(birthday));
    }
  }
  EXPECT_TRUE(found) << run.out;
}

TEST_F(TwoCards, AnotherImageAtTheSamePathIsScannedAfresh) {
  const fs::path card = temp_ / "card.img";
  fs::copy_file(card_a_, card);
  const ToolRun first = DeepRecover(card.string(), temp_ / "out-a");
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_NE(first.out.find("!oliday.jpg: Success"), std::string::npos) << first.out;

  // Card B takes A's place with A's modification time: only the medium
  // itself tells them apart.
  const auto when = fs::last_write_time(card);
  fs::copy_file(card_b_, card, fs::copy_options::overwrite_existing);
  fs::last_write_time(card, when);
  ExpectCardB(DeepRecover(card.string(), temp_ / "out-b"), temp_ / "out-b", birthday_);

  // The same card again does continue its scan.
  const ToolRun again = DeepRecover(card.string(), temp_ / "out-b2");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("continued the saved scan"), std::string::npos) << again.err;
}

// Attaches an image read-only as a loop device, at a chosen device or the
// first free one; detaches it when it goes.
class LoopDevice : NonCopyable {
 public:
  LoopDevice(const fs::path& image, const std::string& device = {}) {
    std::string output;
    const std::string where = device.empty() ? "--find --show" : ShellQuote(device);
    if (RunCapture(
            "losetup --read-only " + where + " " + ShellQuote(image.string()) + " 2>/dev/null",
            &output) != 0) {
      return;
    }
    device_ = device.empty() ? output.substr(0, output.find('\n')) : device;
  }
  ~LoopDevice() {
    std::string ignored;
    if (!device_.empty()) (void)RunCapture("losetup -d " + device_, &ignored);
  }

  const std::string& device() const { return device_; }

 private:
  std::string device_;
};

// The SOURCE by which `list` names the volume on `device` ("entry:N").
std::string EntryOf(const TempDir& temp, const std::string& device) {
  const ToolRun list = RunTool(temp, {"list"});
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string entry, path;
    words >> entry >> path;
    if (entry.starts_with("entry:") && path == device) return entry.substr(0, entry.find('!'));
  }
  return {};
}

TEST_F(TwoCards, AnotherCardInTheSameLoopDeviceIsScannedAfresh) {
  std::string device;
  {
    const LoopDevice first(card_a_);
    if (first.device().empty()) GTEST_SKIP() << "no loop device can be attached here (needs root)";
    device = first.device();
    const std::string entry = EntryOf(temp_, device);
    ASSERT_FALSE(entry.empty()) << device << " is not listed";
    const ToolRun run = DeepRecover(entry, temp_ / "out-a");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(run.out.find("!oliday.jpg: Success"), std::string::npos) << run.out;
  }
  const LoopDevice second(card_b_, device);
  if (second.device().empty()) GTEST_SKIP() << device << " was taken in between";
  const std::string entry = EntryOf(temp_, device);
  ASSERT_FALSE(entry.empty()) << device << " is not listed";
  ExpectCardB(DeepRecover(entry, temp_ / "out-b"), temp_ / "out-b", birthday_);
}

// A deleted file whose third cluster went to another file: what can be read
// is kept, and the file is reported as failed with the counts.
TEST(CliShortFile, AFileCutByAReusedClusterFailsWithItsByteCounts) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const fs::path card = temp / "card.img";
  ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 8192, .sectors_per_cluster = 1}), "");
  const std::vector<uint8_t> notes = PatternBytes(4096, 51);
  ASSERT_EQ(FatWriteFile(card, "/NOTES.TXT", notes), "");
  ASSERT_EQ(Mtools(card, "mdel", {"::/NOTES.TXT"}), "");
  const FatLayout layout = ReadFatLayout(card);
  ASSERT_EQ(layout.cluster_bytes(), 512u);
  // The deleted file's clusters follow one another; the fourth now belongs
  // to someone else.
  const std::vector<uint8_t> root = ReadFileBytes(card, layout.root_offset, 16 * 32);
  uint32_t first_cluster = 0;
  for (std::size_t at = 0; at + 32 <= root.size() && first_cluster == 0; at += 32) {
    if (root[at] == 0xE5 &&
        std::string(root.begin() + at + 1, root.begin() + at + 11) == "OTES   TXT") {
      first_cluster = LoadLe16(root, at + 26);
    }
  }
  ASSERT_GE(first_cluster, 2u) << "the deleted entry of NOTES.TXT";
  const uint64_t fat_entry =
      uint64_t{layout.reserved_sectors} * layout.bytes_per_sector + uint64_t{first_cluster + 3} * 2;
  WriteFileBytes(card, fat_entry, std::vector<uint8_t>{0xFF, 0xFF});

  const fs::path to = temp / "out";
  const ToolRun run = RunTool(temp, {"recover", card.string(), "--to", to.string()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("!otes.txt: only 1,536 of 4,096 bytes could be recovered"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("0 written, 1 failed"), std::string::npos) << run.out;
  bool kept = false;
  for (const auto& file : fs::recursive_directory_iterator(to)) {
    if (file.path().filename() != "!otes.txt") continue;
    kept = true;
    EXPECT_EQ(Sha256OfFile(file.path()), Sha256OfBytes(std::span(notes).first(1536)));
  }
  EXPECT_TRUE(kept) << "what could be read stays";
}

// Too small for a file system, but its sectors can still be carved: only the
// quick scan sends the user to the deep one.
TEST(CliTinyImage, OnlyTheQuickScanSuggestsTheDeepOne) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const fs::path tiny = temp / "tiny.img";
  WriteFileBytes(tiny, 0, JpegBytes(8000, 61));
  const ToolRun quick = RunTool(temp, {"scan", tiny.string(), "--mode", "quick"});
  EXPECT_EQ(quick.status, 1);
  EXPECT_NE(quick.err.find("try --mode deep"), std::string::npos) << quick.err;
  const ToolRun deep = RunTool(temp, {"scan", tiny.string(), "--mode", "deep"});
  EXPECT_EQ(deep.status, 0) << deep.err;
  EXPECT_EQ(deep.err.find("try --mode deep"), std::string::npos) << deep.err;
  EXPECT_NE(deep.out.find("\n1 file found.\n"), std::string::npos) << deep.out;
}

}  // namespace
}  // namespace vexlo::testing
