#include "carving/formats/photo_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "carving/test_samples.h"
#include "tests/support/temp_dir.h"

namespace vexlo::carving {
namespace {

using samples::Bytes;
using samples::Harm;

enum class Sample { kJpeg, kPng };

class PhotoWholeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const testing::TempDir dir;
    photos_ = samples::MakePlasmaPhotos(dir.path(), {.seed = 3, .size = "200x150"});
  }
  void SetUp() override {
    if (photos_.baseline.empty() || photos_.png.empty()) {
      GTEST_SKIP() << "ImageMagick not available";
    }
  }

  static Bytes Made(Sample sample, Harm harm) {
    return samples::Harmed(sample == Sample::kJpeg ? photos_.baseline : photos_.png, harm);
  }

  static samples::PlasmaPhotos photos_;
};

samples::PlasmaPhotos PhotoWholeTest::photos_;

FoundFileRecord RecordOf(const std::string& name, std::size_t size) {
  FoundFileRecord record{};
  record.SetName(name);
  record.size = size;
  return record;
}

// Delivers `file` in pieces as the engines' readers do, counting what the
// judge asked for.
RecordDataReader ReaderOf(const Bytes& file, uint64_t* delivered) {
  return [&file, delivered](uint64_t max_bytes, const RecordDataSink& sink) -> ErrorCode {
    constexpr std::size_t kPiece = 4096;
    const auto end = static_cast<std::size_t>(std::min<uint64_t>(max_bytes, file.size()));
    for (std::size_t at = 0; at < end; at += kPiece) {
      const std::size_t piece = std::min(kPiece, end - at);
      *delivered += piece;
      if (const int32_t answer = sink({file.data() + at, piece}, at + piece); answer != 0)
        return answer;
    }
    return err::kSuccess;
  };
}

TEST_F(PhotoWholeTest, JpegsByDecodingAndPngsByTheirChecksums) {
  struct Case {
    const char* name;
    Sample sample;
    Harm harm;
    bool whole;
  };
  const Case cases[] = {
      {"a.jpg", Sample::kJpeg, Harm::kNone, true},
      {"A.JPEG", Sample::kJpeg, Harm::kSecondHalfZeros, false},
      {"a.jpg", Sample::kJpeg, Harm::kCutAt60Percent, false},
      {"a.png", Sample::kPng, Harm::kNone, true},
      {"a.PNG", Sample::kPng, Harm::kByteFlippedInTheMiddle, false},
      {"a.png", Sample::kPng, Harm::kSecondHalfZeros, false},
      {"a.png", Sample::kPng, Harm::kCutAt60Percent, false},
      // Named otherwise, nothing is judged: whatever the bytes, the file is whole.
      {"a.bin", Sample::kPng, Harm::kCutAt60Percent, true},
      {"jpg", Sample::kJpeg, Harm::kCutAt60Percent, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " harm " + std::to_string(static_cast<int>(c.harm)));
    const Bytes file = Made(c.sample, c.harm);
    uint64_t delivered = 0;
    EXPECT_EQ(PhotoWhole(RecordOf(c.name, file.size()), ReaderOf(file, &delivered)), c.whole);
    EXPECT_LE(delivered, file.size());
  }
}

TEST_F(PhotoWholeTest, OtherFilesAreNotRead) {
  const Bytes file = Made(Sample::kPng, Harm::kNone);
  uint64_t delivered = 0;
  EXPECT_TRUE(PhotoWhole(RecordOf("notes.txt", file.size()), ReaderOf(file, &delivered)));
  EXPECT_EQ(delivered, 0u);
}

TEST_F(PhotoWholeTest, ReadingStopsAtTheFirstBadChecksum) {
  Bytes file = Made(Sample::kPng, Harm::kNone);
  file.resize(file.size() + (1 << 20), 0);  // a length that runs far past the picture
  file[20] ^= 1;                            // the width, in the header chunk
  uint64_t delivered = 0;
  EXPECT_FALSE(PhotoWhole(RecordOf("a.png", file.size()), ReaderOf(file, &delivered)));
  EXPECT_LE(delivered, 4096u);
}

TEST_F(PhotoWholeTest, AFileThatCannotBeReadIsNotCalledDamaged) {
  const FoundFileRecord record = RecordOf("a.jpg", 50000);
  const RecordDataReader failing = [](uint64_t, const RecordDataSink&) -> ErrorCode {
    return err::kReadFault;
  };
  EXPECT_TRUE(PhotoWhole(record, failing));
}

}  // namespace
}  // namespace vexlo::carving
