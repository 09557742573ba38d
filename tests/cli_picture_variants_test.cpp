// Pictures as today's editors and phones write them, deleted from a FAT card
// made at test time: a BMP with a version 5 header (ImageMagick's default)
// and a JPEG that starts with its quantisation table (no application
// segment). The quick scan lists them as intact.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "carving/test_samples.h"
#include "tests/support/card_image_test.h"
#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

// The output of an ImageMagick command run in `dir`; empty when it fails.
std::vector<uint8_t> Convert(const TempDir& dir, const std::string& arguments,
                             const std::string& output) {
  std::string ignored;
  if (RunCapture("cd " + ShellQuote(dir.path().string()) + " && convert " + arguments + " " +
                     output + " 2>&1",
                 &ignored) != 0) {
    return {};
  }
  return ReadFileBytes(dir / output, 0, 1 << 20);
}

class CliPictureVariants : public CardImageTest {
 protected:
  void SetUp() override {
    bmp_ = Convert(temp_, "-size 61x47 gradient:red-blue", "v5.bmp");
    jpeg_ = carving::samples::WithoutApplicationSegments(
        Convert(temp_, "-size 320x240 plasma:fractal -seed 7 -quality 85", "p.jpg"));
    if (bmp_.size() < 40 || jpeg_.size() < 100) GTEST_SKIP() << "ImageMagick not available";
    ASSERT_EQ(bmp_[14], 124) << "ImageMagick no longer writes version 5 headers";
    ASSERT_EQ(jpeg_[3], 0xDB);
    ASSERT_EQ(MakeFatImage(card_, {.fat_bits = 16, .size_kib = 16384}), "");
    ASSERT_EQ(FatWriteFile(card_, "/PAINT.BMP", bmp_), "");
    ASSERT_EQ(FatWriteFile(card_, "/PHONE.JPG", jpeg_), "");
    ASSERT_EQ(Mtools(card_, "mdel", {"::/PAINT.BMP", "::/PHONE.JPG"}), "");
  }

  // The listed files, one "name size" line each, from the tool's JSON.
  std::string Listed(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"scan", card_.string(), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolRun run = RunTool(temp_, args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::ofstream(temp_ / "found.json") << run.out;
    std::string lines;
    EXPECT_EQ(RunCapture("python3 -c 'import json,sys\n"
                         "rows=[json.loads(l) for l in open(sys.argv[1]) if l.strip()]\n"
                         "print(\"\".join(sorted(\"%s %d\\n\" % (r[\"name\"],r[\"size\"]) "
                         "for r in rows if \"summary\" not in r)),end=\"\")' " +
                             ShellQuote((temp_ / "found.json").string()),
                         &lines),
              0);
    return lines;
  }

  std::vector<uint8_t> bmp_;
  std::vector<uint8_t> jpeg_;
};

TEST_F(CliPictureVariants, QuickScanListsTheDeletedPictures) {
  EXPECT_EQ(Listed({"--mode", "quick"}), "!aint.bmp " + std::to_string(bmp_.size()) +
                                             "\n!hone.jpg " + std::to_string(jpeg_.size()) + "\n");
}

}  // namespace
}  // namespace vexlo::testing
