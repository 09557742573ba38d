// The picture structures fed real files (ImageMagick at test time) and
// files built here byte by byte, in pieces of every awkward size: each must
// end exactly at the file's last byte whatever follows it, wait for more
// when the file is cut short, and refuse bytes that break the format.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "carving/camera_samples.h"
#include "carving/formats/ebml_structure.h"
#include "carving/formats/gif_structure.h"
#include "carving/formats/jpeg_structure.h"
#include "carving/formats/mp3_structure.h"
#include "carving/formats/pdf_structure.h"
#include "carving/formats/png_structure.h"
#include "carving/formats/program_stream_structure.h"
#include "carving/test_samples.h"
#include "ondisk/endian.h"
#include "tests/support/temp_dir.h"

namespace vexlo::carving {
namespace {

using samples::Append;
using samples::Bytes;
using samples::ByTool;

// What a structure said once fed the file: the verdict at which it stopped,
// and its end when that was kEnd.
using Followed = std::pair<StructureVerdict, uint64_t>;

// Feeds `bytes` in pieces of `piece` bytes to a fresh `Structure`.
template <class Structure>
Followed Follow(const Bytes& bytes, std::size_t piece) {
  Structure structure;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const StructureVerdict verdict =
        structure.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    if (verdict == StructureVerdict::kEnd) return {verdict, structure.end()};
    if (verdict == StructureVerdict::kBroken) return {verdict, 0};
  }
  return {StructureVerdict::kMore, 0};
}

// A program stream on a medium of 512-byte sectors.
struct SectorProgramStream : ProgramStreamStructure {
  SectorProgramStream() : ProgramStreamStructure(512) {}
};

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A JPEG's syntax without real image data: the structure does not decode.
// Scan data holds stuffed zeros, restart markers and fill bytes.
Bytes SyntheticJpeg(const Bytes& extra_segments) {
  Bytes b = {0xFF, 0xD8};
  b = Concat(b, extra_segments);
  b = Concat(b, samples::JpegSegment(0xDB, Bytes(65, 1)));
  b = Concat(b, samples::JpegSegment(0xDA, Bytes(10, 2)));
  b = Concat(b, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD7, 0x78, 0xFF, 0xFF, 0xD9});
  return b;
}

// An Exif-like segment that holds a whole thumbnail, end marker included.
Bytes WithThumbnail() {
  Bytes payload;
  Append(payload, std::string_view("Exif\0\0", 6));
  payload = Concat(payload, SyntheticJpeg({}));
  return SyntheticJpeg(samples::JpegSegment(0xE1, payload));
}

// A multi-picture file: the first image's index points at a second image
// appended behind it.
Bytes MultiPicture(bool big_endian, bool second_intact) {
  Bytes second = SyntheticJpeg({});
  if (!second_intact) second.back() = 0x00;
  return samples::WithMultiPictureIndex(SyntheticJpeg({}), second, big_endian);
}

uint64_t WholeFile(const Bytes& b) { return b.size(); }

struct StructureCase {
  const char* label;
  Followed (*follow)(const Bytes& bytes, std::size_t piece);
  std::function<Bytes(const std::filesystem::path&)> make;
  // Where the file ends: its size, or the first image's for a broken index.
  std::function<uint64_t(const Bytes&)> expected_end = WholeFile;
  // Whether text over the file breaks the structure; a PDF's text is text.
  bool text_breaks = true;
};

std::string Ffmpeg(const std::string& input, const std::string& output_options) {
  return "ffmpeg -v error -f lavfi -i " + input + " " + output_options;
}

constexpr const char* kTone = "sine=duration=1";
constexpr const char* kPattern = "testsrc=duration=1:size=96x64:rate=10";
// MPEG-1 and MPEG-2 video know no rate of 10 frames a second.
constexpr const char* kMpegPattern = "testsrc=duration=1:size=96x64:rate=25";

// An MPEG-1 layer III frame header of 417 bytes (128 kbit/s, 44.1 kHz)
// and its data.
Bytes Mp3Frame(uint8_t padding_bit) {
  Bytes b = {0xFF, 0xFB, static_cast<uint8_t>(0x90 | padding_bit << 1), 0x44};
  b.resize(417 + padding_bit, 0x55);
  return b;
}

Bytes Id3v2(uint8_t tag_bytes) {
  Bytes b = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, tag_bytes};
  b.resize(10 + tag_bytes, 0);
  return b;
}

const StructureCase kCases[] = {
    {"jpeg_baseline", Follow<JpegStructure>,
     ByTool("convert -size 200x150 plasma:fractal -seed 3 a.jpg", "a.jpg")},
    {"jpeg_progressive", Follow<JpegStructure>,
     ByTool("convert -size 200x150 plasma:fractal -seed 4 -interlace Plane a.jpg", "a.jpg")},
    {"jpeg_without_application_segment", Follow<JpegStructure>,
     [](auto& d) {
       return samples::WithoutApplicationSegments(
           samples::MakeWithTool(d, "convert -size 90x70 gradient:red-blue a.jpg", "a.jpg"));
     }},
    {"jpeg_restarts_and_fill", Follow<JpegStructure>, [](auto&) { return SyntheticJpeg({}); }},
    {"jpeg_nested_thumbnail", Follow<JpegStructure>, [](auto&) { return WithThumbnail(); }},
    {"jpeg_multi_picture_little", Follow<JpegStructure>,
     [](auto&) { return MultiPicture(false, true); }},
    {"jpeg_multi_picture_big", Follow<JpegStructure>,
     [](auto&) { return MultiPicture(true, true); }},
    {"jpeg_multi_picture_second_broken", Follow<JpegStructure>,
     [](auto&) { return MultiPicture(true, false); },
     [](const Bytes& b) { return b.size() - SyntheticJpeg({}).size(); }},
    {"png", Follow<PngStructure>, ByTool("convert -size 120x90 gradient:red-blue a.png", "a.png")},
    {"gif", Follow<GifStructure>, ByTool("convert -size 120x90 gradient: a.gif", "a.gif")},
    {"gif_animated", Follow<GifStructure>,
     ByTool("convert -size 40x30 xc:red xc:blue xc:green -loop 0 a.gif", "a.gif")},
    {"mp3", Follow<Mp3Structure>, ByTool(Ffmpeg(kTone, "-c:a libmp3lame a.mp3"), "a.mp3")},
    {"mp3_id3v1", Follow<Mp3Structure>,
     ByTool(Ffmpeg(kTone, "-c:a libmp3lame -metadata title=sea -write_id3v1 1 a.mp3"), "a.mp3")},
    {"mp3_mpeg2_mono", Follow<Mp3Structure>,
     ByTool(Ffmpeg(kTone, "-c:a libmp3lame -ar 22050 -ac 1 -b:a 32k a.mp3"), "a.mp3")},
    {"mp3_padded_frames", Follow<Mp3Structure>,
     [](auto&) {
       return Concat(Concat(Id3v2(20), Mp3Frame(0)), Concat(Mp3Frame(1), Mp3Frame(0)));
     }},
    // A frame of another sample rate belongs to no stream of this file.
    {"mp3_other_stream_behind", Follow<Mp3Structure>,
     [](auto&) {
       Bytes other = Mp3Frame(0);
       other[2] = 0x94;
       return Concat(Concat(Id3v2(20), Mp3Frame(0)), other);
     },
     [](const Bytes&) { return uint64_t{30 + 417}; }},
    {"pdf", Follow<PdfStructure>, [](auto&) { return samples::MakeOnePagePdf(); }, WholeFile,
     false},
    {"pdf_updated", Follow<PdfStructure>,
     [](auto&) { return samples::WithPdfUpdate(samples::MakeOnePagePdf(), 150000); }, WholeFile,
     false},
    {"pdf_updated_twice", Follow<PdfStructure>,
     [](auto&) {
       return samples::WithPdfUpdate(samples::WithPdfUpdate(samples::MakeOnePagePdf(), 10), 10);
     },
     WholeFile, false},
    {"mkv", Follow<EbmlStructure>, ByTool(Ffmpeg(kPattern, "-c:v mpeg4 a.mkv"), "a.mkv")},
    {"webm", Follow<EbmlStructure>,
     ByTool(Ffmpeg(kPattern, "-c:v libvpx -b:v 100k a.webm"), "a.webm")},
    {"mka", Follow<EbmlStructure>, ByTool(Ffmpeg(kTone, "-c:a libvorbis a.mka"), "a.mka")},
    // ffmpeg writes no end code: the stream ends behind its last packet.
    {"mpeg2_program_stream", Follow<SectorProgramStream>,
     ByTool(Ffmpeg(kMpegPattern, "-c:v mpeg2video -f vob a.vob"), "a.vob")},
    {"mpeg1_system_stream", Follow<SectorProgramStream>,
     ByTool(Ffmpeg(kMpegPattern, "-c:v mpeg1video -f mpeg a.mpg"), "a.mpg")},
    // The next recording on the card, right behind: its clock starts afresh.
    {"mpeg2_program_stream_then_another", Follow<SectorProgramStream>,
     [](const std::filesystem::path& d) {
       const Bytes vob =
           samples::MakeWithTool(d, Ffmpeg(kMpegPattern, "-c:v mpeg2video -f vob a.vob"), "a.vob");
       return vob.size() % 512 == 0 ? Concat(vob, vob) : Bytes{};
     },
     [](const Bytes& b) { return uint64_t{b.size() / 2}; }},
    {"mpeg_program_stream_with_end_code", Follow<SectorProgramStream>,
     [](const std::filesystem::path&) { return samples::MakePacketisedProgramStream(5000); }},
};

class StructureTest : public ::testing::TestWithParam<StructureCase> {
 protected:
  testing::TempDir work_;
};

TEST_P(StructureTest, EndsAtTheLastByteInPiecesOfAnySize) {
  const StructureCase& c = GetParam();
  const Bytes file = c.make(work_.path());
  if (file.empty()) GTEST_SKIP() << "tool for " << c.label << " not available";
  // What follows a file on a card: end markers and non-zero bytes.
  const Bytes followed = Concat(file, {0xFF, 0xD9, 0x00, 0x3B, 'I', 'E', 'N', 'D', 0x47});
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{512}, file.size()}) {
    SCOPED_TRACE(piece);
    const auto [verdict, end] = c.follow(followed, piece);
    EXPECT_EQ(verdict, StructureVerdict::kEnd);
    EXPECT_EQ(end, c.expected_end(file));
  }
}

TEST_P(StructureTest, CutShortWaitsForMore) {
  const StructureCase& c = GetParam();
  Bytes file = c.make(work_.path());
  if (file.empty()) GTEST_SKIP() << "tool for " << c.label << " not available";
  file.resize(c.expected_end(file) - 1);
  EXPECT_EQ(c.follow(file, 512).first, StructureVerdict::kMore);
}

TEST_P(StructureTest, OverwrittenStructureBreaks) {
  const StructureCase& c = GetParam();
  Bytes file = c.make(work_.path());
  if (file.empty()) GTEST_SKIP() << "tool for " << c.label << " not available";
  if (!c.text_breaks) GTEST_SKIP() << c.label << " is text";
  // Text over everything behind the first 20 bytes: no segment, chunk or
  // block survives.
  const Bytes text = samples::Filler(file.size() - 20);
  std::copy(text.begin(), text.end(), file.begin() + 20);
  EXPECT_EQ(c.follow(file, 512).first, StructureVerdict::kBroken);
}

INSTANTIATE_TEST_SUITE_P(Pictures, StructureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vexlo::carving
