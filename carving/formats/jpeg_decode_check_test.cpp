#include "carving/formats/jpeg_decode_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "carving/test_samples.h"
#include "tests/support/temp_dir.h"

namespace vexlo::carving {
namespace {

using samples::Bytes;
using samples::Harm;

// Photos as encoders write them: a baseline and a progressive one, large
// enough for many MCU rows and several progressive scans.
class JpegDecodeCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const testing::TempDir dir;
    const samples::PlasmaPhotos photos =
        samples::MakePlasmaPhotos(dir.path(), {.seed = 7, .size = "320x240"});
    baseline_ = photos.baseline;
    progressive_ = photos.progressive;
    other_ = samples::MakeWithTool(
        dir.path(), "convert -size 400x300 gradient:red-blue -quality 70 o.jpg", "o.jpg");
  }

  static bool DamagedWhenFed(const Bytes& file, std::size_t piece, uint64_t length) {
    JpegDecodeCheck check;
    for (std::size_t at = 0; at < file.size(); at += piece) {
      check.Feed(file.data() + at, std::min(piece, file.size() - at));
    }
    return check.Damaged(length);
  }

  static Bytes baseline_, progressive_, other_;
};

Bytes JpegDecodeCheckTest::baseline_;
Bytes JpegDecodeCheckTest::progressive_;
Bytes JpegDecodeCheckTest::other_;

TEST_F(JpegDecodeCheckTest, OnlyPhotosThatDecodeToTheirEndAreWhole) {
  ASSERT_FALSE(baseline_.empty()) << "ImageMagick's convert is needed";
  ASSERT_FALSE(progressive_.empty());
  ASSERT_FALSE(other_.empty());
  struct Case {
    const char* label;
    Harm harm;
    bool damaged;
  };
  const Case cases[] = {
      {"intact", Harm::kNone, false},
      {"second half zeros", Harm::kSecondHalfZeros, true},
      {"second half another photo's", Harm::kSecondHalfOtherFile, true},
      {"cut at 60 %", Harm::kCutAt60Percent, true},
  };
  // One byte at a time makes the decoder stop and continue inside every
  // segment and MCU; 4096 crosses pieces at odd places; the whole file at once.
  const std::size_t pieces[] = {1, 4096, 1 << 24};
  for (const auto& [name, photo] :
       {std::pair{"baseline", &baseline_}, std::pair{"progressive", &progressive_}}) {
    for (const Case& c : cases) {
      const Bytes file = samples::Harmed(*photo, c.harm, other_);
      for (const std::size_t piece : pieces) {
        EXPECT_EQ(DamagedWhenFed(file, piece, file.size()), c.damaged)
            << name << ", " << c.label << ", pieces of " << piece;
      }
    }
  }
}

TEST_F(JpegDecodeCheckTest, BytesBehindTheEndDoNotMatterButACutBeforeItDoes) {
  ASSERT_FALSE(baseline_.empty()) << "ImageMagick's convert is needed";
  // A search reads whole chunks, so the next file's bytes follow the photo.
  Bytes followed = baseline_;
  followed.insert(followed.end(), other_.begin(), other_.end());
  EXPECT_FALSE(DamagedWhenFed(followed, 4096, baseline_.size()));
  // A length rule that stopped one byte short of the end-of-image marker.
  EXPECT_TRUE(DamagedWhenFed(followed, 4096, baseline_.size() - 1));
}

TEST_F(JpegDecodeCheckTest, GarbageBehindAStartMarkerIsDamagedWithBoundedHolding) {
  // A start-of-image marker in random data (or a false header match) must
  // end in a verdict, not in an error that leaves the object or in bytes
  // held without end.
  Bytes garbage = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  samples::Medium random(4096, 99);
  const Bytes noise = random.bytes();
  garbage.insert(garbage.end(), noise.begin(), noise.end());
  EXPECT_TRUE(DamagedWhenFed(garbage, 65536, garbage.size()));
  EXPECT_TRUE(DamagedWhenFed(garbage, 1, 20000));
}

}  // namespace
}  // namespace vexlo::carving
