// The picture structures fed real files (ImageMagick at test time) and
// files built here byte by byte, in pieces of every awkward size: each must
// end exactly at the file's last byte whatever follows it, wait for more
// when the file is cut short, and refuse bytes that break the format.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "carving/formats/ebml_structure.h"
#include "carving/formats/gif_structure.h"
#include "carving/formats/jpeg_structure.h"
#include "carving/formats/mp3_structure.h"
#include "carving/formats/pdf_structure.h"
#include "carving/formats/png_structure.h"
#include "carving/test_samples.h"
#include "ondisk/endian.h"
#include "tests/support/temp_dir.h"

namespace vexlo::carving {
namespace {

using samples::Append;
using samples::Bytes;

enum class Format { kJpeg, kPng, kGif, kMp3, kPdf, kMatroska };

// Feeds `bytes` in pieces of `piece` bytes to a fresh structure of `format`;
// the verdict at which it stopped, and its end when that was kEnd.
std::pair<StructureVerdict, uint64_t> Follow(Format format, const Bytes& bytes, std::size_t piece) {
  auto run = [&](auto structure) -> std::pair<StructureVerdict, uint64_t> {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      const StructureVerdict verdict =
          structure.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
      if (verdict == StructureVerdict::kEnd) return {verdict, structure.end()};
      if (verdict == StructureVerdict::kBroken) return {verdict, 0};
    }
    return {StructureVerdict::kMore, 0};
  };
  switch (format) {
    case Format::kJpeg:
      return run(JpegStructure{});
    case Format::kPng:
      return run(PngStructure{});
    case Format::kGif:
      return run(GifStructure{});
    case Format::kMp3:
      return run(Mp3Structure{});
    case Format::kPdf:
      return run(PdfStructure{});
    case Format::kMatroska:
      return run(EbmlStructure{});
  }
  return {StructureVerdict::kBroken, 0};
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Segment(uint8_t marker, const Bytes& payload) {
  Bytes b = {0xFF, marker, 0, 0};
  StoreBe16(b, 2, static_cast<uint16_t>(payload.size() + 2));
  return Concat(b, payload);
}

// A JPEG's syntax without real image data: the structure does not decode.
// Scan data holds stuffed zeros, restart markers and fill bytes.
Bytes SyntheticJpeg(const Bytes& extra_segments) {
  Bytes b = {0xFF, 0xD8};
  b = Concat(b, extra_segments);
  b = Concat(b, Segment(0xDB, Bytes(65, 1)));
  b = Concat(b, Segment(0xDA, Bytes(10, 2)));
  b = Concat(b, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD7, 0x78, 0xFF, 0xFF, 0xD9});
  return b;
}

// An Exif-like segment that holds a whole thumbnail, end marker included.
Bytes WithThumbnail() {
  Bytes payload;
  Append(payload, std::string_view("Exif\0\0", 6));
  payload = Concat(payload, SyntheticJpeg({}));
  return SyntheticJpeg(Segment(0xE1, payload));
}

// A multi-picture file: the first image's APP2 index points at a second
// image appended behind the first, with offsets from the index's byte-order
// mark.
Bytes MultiPicture(bool big_endian, bool second_intact) {
  const Bytes second = SyntheticJpeg({});
  auto build = [&](uint32_t second_offset) {
    Bytes index;
    Append(index, std::string_view("MPF\0", 4));
    Bytes tiff(8 + 2 + 12 + 4 + 32, 0);
    auto put16 = [&](std::size_t at, uint16_t v) {
      big_endian ? StoreBe16(tiff, at, v) : StoreLe16(tiff, at, v);
    };
    auto put32 = [&](std::size_t at, uint32_t v) {
      big_endian ? StoreBe32(tiff, at, v) : StoreLe32(tiff, at, v);
    };
    std::memcpy(tiff.data(), big_endian ? "MM\0*" : "II*\0", 4);
    put32(4, 8);
    put16(8, 1);
    put16(10, 0xB002);
    put16(12, 7);
    put32(14, 32);
    put32(18, 26);
    put32(26 + 4, 1000);  // the first image: offset 0
    put32(26 + 16 + 4, static_cast<uint32_t>(second.size()));
    put32(26 + 16 + 8, second_offset);
    return SyntheticJpeg(Segment(0xE2, Concat(index, tiff)));
  };
  const Bytes probe = build(0);
  // Offsets count from the byte-order mark: 2 (start) + 4 (segment head) + 4.
  const Bytes first = build(static_cast<uint32_t>(probe.size() - 10));
  Bytes tail = second;
  if (!second_intact) tail.back() = 0x00;
  return Concat(first, tail);
}

uint64_t WholeFile(const Bytes& b) { return b.size(); }

struct StructureCase {
  const char* label;
  Format format;
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

Bytes Tool(const std::filesystem::path& dir, const std::string& command, const std::string& out) {
  return samples::MakeWithTool(dir, command, out);
}

const StructureCase kCases[] = {
    {"jpeg_baseline", Format::kJpeg,
     [](auto& d) {
       return Tool(d, "convert -size 200x150 plasma:fractal -seed 3 a.jpg", "a.jpg");
     }},
    {"jpeg_progressive", Format::kJpeg,
     [](auto& d) {
       return Tool(d, "convert -size 200x150 plasma:fractal -seed 4 -interlace Plane a.jpg",
                   "a.jpg");
     }},
    {"jpeg_without_application_segment", Format::kJpeg,
     [](auto& d) {
       return samples::WithoutApplicationSegments(
           Tool(d, "convert -size 90x70 gradient:red-blue a.jpg", "a.jpg"));
     }},
    {"jpeg_restarts_and_fill", Format::kJpeg, [](auto&) { return SyntheticJpeg({}); }},
    {"jpeg_nested_thumbnail", Format::kJpeg, [](auto&) { return WithThumbnail(); }},
    {"jpeg_multi_picture_little", Format::kJpeg, [](auto&) { return MultiPicture(false, true); }},
    {"jpeg_multi_picture_big", Format::kJpeg, [](auto&) { return MultiPicture(true, true); }},
    {"jpeg_multi_picture_second_broken", Format::kJpeg,
     [](auto&) { return MultiPicture(true, false); },
     [](const Bytes& b) { return b.size() - SyntheticJpeg({}).size(); }},
    {"png", Format::kPng,
     [](auto& d) { return Tool(d, "convert -size 120x90 gradient:red-blue a.png", "a.png"); }},
    {"gif", Format::kGif,
     [](auto& d) { return Tool(d, "convert -size 120x90 gradient: a.gif", "a.gif"); }},
    {"gif_animated", Format::kGif,
     [](auto& d) {
       return Tool(d, "convert -size 40x30 xc:red xc:blue xc:green -loop 0 a.gif", "a.gif");
     }},
    {"mp3", Format::kMp3,
     [](auto& d) { return Tool(d, Ffmpeg(kTone, "-c:a libmp3lame a.mp3"), "a.mp3"); }},
    {"mp3_id3v1", Format::kMp3,
     [](auto& d) {
       return Tool(d, Ffmpeg(kTone, "-c:a libmp3lame -metadata title=sea -write_id3v1 1 a.mp3"),
                   "a.mp3");
     }},
    {"mp3_mpeg2_mono", Format::kMp3,
     [](auto& d) {
       return Tool(d, Ffmpeg(kTone, "-c:a libmp3lame -ar 22050 -ac 1 -b:a 32k a.mp3"), "a.mp3");
     }},
    {"mp3_padded_frames", Format::kMp3,
     [](auto&) {
       return Concat(Concat(Id3v2(20), Mp3Frame(0)), Concat(Mp3Frame(1), Mp3Frame(0)));
     }},
    // A frame of another sample rate belongs to no stream of this file.
    {"mp3_other_stream_behind", Format::kMp3,
     [](auto&) {
       Bytes other = Mp3Frame(0);
       other[2] = 0x94;
       return Concat(Concat(Id3v2(20), Mp3Frame(0)), other);
     },
     [](const Bytes&) { return uint64_t{30 + 417}; }},
    {"pdf", Format::kPdf, [](auto&) { return samples::MakeOnePagePdf(); }, WholeFile, false},
    {"pdf_updated", Format::kPdf,
     [](auto&) { return samples::WithPdfUpdate(samples::MakeOnePagePdf(), 150000); }, WholeFile,
     false},
    {"pdf_updated_twice", Format::kPdf,
     [](auto&) {
       return samples::WithPdfUpdate(samples::WithPdfUpdate(samples::MakeOnePagePdf(), 10), 10);
     },
     WholeFile, false},
    {"mkv", Format::kMatroska,
     [](auto& d) { return Tool(d, Ffmpeg(kPattern, "-c:v mpeg4 a.mkv"), "a.mkv"); }},
    {"webm", Format::kMatroska,
     [](auto& d) { return Tool(d, Ffmpeg(kPattern, "-c:v libvpx -b:v 100k a.webm"), "a.webm"); }},
    {"mka", Format::kMatroska,
     [](auto& d) { return Tool(d, Ffmpeg(kTone, "-c:a libvorbis a.mka"), "a.mka"); }},
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
    const auto [verdict, end] = Follow(c.format, followed, piece);
    EXPECT_EQ(verdict, StructureVerdict::kEnd);
    EXPECT_EQ(end, c.expected_end(file));
  }
}

TEST_P(StructureTest, CutShortWaitsForMore) {
  const StructureCase& c = GetParam();
  Bytes file = c.make(work_.path());
  if (file.empty()) GTEST_SKIP() << "tool for " << c.label << " not available";
  file.resize(c.expected_end(file) - 1);
  EXPECT_EQ(Follow(c.format, file, 512).first, StructureVerdict::kMore);
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
  EXPECT_EQ(Follow(c.format, file, 512).first, StructureVerdict::kBroken);
}

INSTANTIATE_TEST_SUITE_P(Pictures, StructureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vexlo::carving
