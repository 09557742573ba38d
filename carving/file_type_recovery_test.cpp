#include "carving/file_type_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "carving/camera_samples.h"
#include "carving/test_samples.h"
#include "engine/recovery_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_scan_history.h"

namespace vexlo {
namespace {

using carving::samples::Bytes;
using carving::samples::Medium;
namespace samples = carving::samples;

constexpr uint32_t kSector = 512;

uint64_t SectorsFor(std::size_t bytes) { return (bytes + kSector - 1) / kSector; }

using samples::ByTool;
using samples::MakeFatDirectorySector;

class CarvingTest : public ::testing::Test {
 protected:
  // Opens `engine` on `bytes` as its source.
  static void OpenOn(CFileTypeRecovery& engine, Bytes bytes) {
    DiskHandle disk;
    ASSERT_EQ(
        OpenDiskFromSource(std::make_unique<platform::MemorySectorSource>(std::move(bytes)), &disk),
        0);
    const uint64_t sectors = disk.total_sectors;
    ASSERT_EQ(engine.OpenOnDisk(std::move(disk), 0, sectors, 0), 0);
  }

  // Carves the whole medium and returns the records found.
  std::vector<FoundFileRecord> Carve(const Medium& medium, ErrorCode* result = nullptr) {
    OpenOn(engine_, medium_copy(medium));
    EXPECT_EQ(engine_.StartScan(nullptr), 0);
    const ErrorCode rc = engine_.CarveRange(0, medium.sectors());
    if (result != nullptr) *result = rc;
    std::vector<FoundFileRecord> records;
    EXPECT_EQ(engine_.ListFolder(nullptr, 0, &records), 0);
    return records;
  }

  static Bytes medium_copy(const Medium& medium) { return const_cast<Medium&>(medium).bytes(); }

  static std::optional<FoundFileRecord> Find(const std::vector<FoundFileRecord>& records,
                                             std::string_view name) {
    for (const FoundFileRecord& r : records) {
      if (r.Name() == name) return r;
    }
    return std::nullopt;
  }

  Bytes Recover(const FoundFileRecord& record) {
    const std::filesystem::path out = work_.path() / "out" / std::string(record.Name());
    EXPECT_EQ(engine_.RecoverFile(record, out, 0), 0);
    return samples::ReadFileBytes(out);
  }

  testing::TempDir work_;
  testing::TempScanHistory scan_log_;
  ScanHistory& history_ = scan_log_.history;
  CFileTypeRecovery engine_{history_};
};

// How a format's length rule uses the file's structure.
enum class Structure {
  kNone,
  // followed through the file, or described at its end (a TIFF directory
  // behind the image data); a cut copy runs to the next start
  kFollowed,
  // declared in its header (or in box sizes up front); a cut copy ends
  // where the declaration says, never beyond
  kDeclared,
};

// How a format's carved length relates to the file placed on the medium.
enum class Expect {
  kExactSize,    // the file's own size: recovery is byte-identical
  kToNextStart,  // the whole sectors up to the metadata sector behind it
};

struct FormatCase {
  const char* label;
  std::function<Bytes(const std::filesystem::path&)> make;
  const char* extension;
  Expect expect;
  // Whether the length follows the file's structure, so that debris right
  // behind the file, in its own last sector, does not make it longer.
  Structure structure = Structure::kNone;
};

Bytes Tool(const std::filesystem::path& dir, const std::string& command, const std::string& out) {
  return samples::MakeWithTool(dir, command, out);
}

// An APEv2 tag (header, one item, footer) as taggers put it behind the
// last MPEG frame and before an ID3v1 tag.
Bytes WithApeTag(Bytes mp3) {
  constexpr std::size_t kId3v1 = 128;
  if (mp3.size() < kId3v1) return {};
  Bytes item(8, 0);
  StoreLe32(item, 0, 3);
  samples::Append(item, std::string_view("Title\0Sea", 9));
  auto header = [&](uint32_t flags) {
    Bytes h;
    samples::Append(h, "APETAGEX");
    h.resize(32, 0);
    StoreLe32(h, 8, 2000);
    StoreLe32(h, 12, static_cast<uint32_t>(item.size() + 32));
    StoreLe32(h, 16, 1);
    StoreLe32(h, 20, flags);
    return h;
  };
  Bytes tag = header(0xA0000000);  // has a header, is the header
  tag.insert(tag.end(), item.begin(), item.end());
  const Bytes footer = header(0x80000000);
  tag.insert(tag.end(), footer.begin(), footer.end());
  mp3.insert(mp3.end() - kId3v1, tag.begin(), tag.end());
  return mp3;
}

// A second of test pattern written by ffmpeg with `output_options`, at 10
// frames a second unless the codec knows no such rate (MPEG-1 and MPEG-2
// video take 25).
std::string Ffmpeg(const std::string& output_options, int frames_per_second = 10) {
  return "ffmpeg -v error -f lavfi -i testsrc=duration=1:size=160x120:rate=" +
         std::to_string(frames_per_second) + " " + output_options;
}

// A second of tone written by ffmpeg with `output_options`.
std::string Tone(const std::string& output_options) {
  return "ffmpeg -v error -f lavfi -i sine=duration=1 " + output_options;
}

// The tone as MP3.
std::string Mp3Tool(const std::string& output_options) {
  return Tone("-c:a libmp3lame " + output_options);
}

// An MP4 whose file-type box names `brand`, as phones and cameras of each
// family write it; the boxes behind it are the same.
std::function<Bytes(const std::filesystem::path&)> Mp4OfBrand(const std::string& brand) {
  return ByTool(Ffmpeg("-c:v mpeg4 -brand " + brand + " a.mp4"), "a.mp4");
}

// A 3GPP file of `brand`, 3GPP2 when `format` says so.
std::function<Bytes(const std::filesystem::path&)> ThreeGppOfBrand(const std::string& format,
                                                                   const std::string& brand) {
  return ByTool(Ffmpeg("-s 176x144 -c:v h263 -f " + format + " -brand " + brand + " a.3gp"),
                "a.3gp");
}

// `bmp`, a V5 bitmap as ImageMagick writes it, with the V4 header of 108
// bytes that older editors write instead: the colour-profile fields go.
Bytes AsBmpV4(Bytes bmp) {
  constexpr std::size_t kFileHeader = 14;
  constexpr uint32_t kV4 = 108, kV5 = 124;
  if (bmp.size() < kFileHeader + kV5 || LoadLe32(bmp, kFileHeader) != kV5) return {};
  bmp.erase(bmp.begin() + kFileHeader + kV4, bmp.begin() + kFileHeader + kV5);
  StoreLe32(bmp, 2, static_cast<uint32_t>(bmp.size()));
  StoreLe32(bmp, 10, LoadLe32(bmp, 10) - (kV5 - kV4));
  StoreLe32(bmp, kFileHeader, kV4);
  return bmp;
}

// A photo with a camera's multi-picture index and a second, smaller
// picture appended behind its end.
Bytes MultiPicturePhoto(const std::filesystem::path& dir) {
  const Bytes first = Tool(dir, "convert -seed 6 -size 320x240 plasma:fractal m1.jpg", "m1.jpg");
  const Bytes second = Tool(dir, "convert -seed 7 -size 160x120 plasma:fractal m2.jpg", "m2.jpg");
  if (first.empty() || second.empty()) return {};
  return samples::WithMultiPictureIndex(first, second, false);
}

const FormatCase kFormats[] = {
    {"jpeg", ByTool("convert -size 300x200 gradient:red-blue -strip a.jpg", "a.jpg"), "jpg",
     Expect::kExactSize, Structure::kFollowed},
    {"small_jpeg", ByTool("convert -size 8x8 xc:red -strip a.jpg", "a.jpg"), "jpg",
     Expect::kExactSize, Structure::kFollowed},
    {"png", ByTool("convert -size 300x200 gradient:red-blue a.png", "a.png"), "png",
     Expect::kExactSize, Structure::kFollowed},
    {"gif", ByTool("convert -size 200x100 gradient: a.gif", "a.gif"), "gif", Expect::kExactSize,
     Structure::kFollowed},
    {"bmp", ByTool("convert -size 30x20 xc:green BMP3:a.bmp", "a.bmp"), "bmp", Expect::kExactSize},
    {"bmp_v5", ByTool("convert -size 30x20 gradient: a.bmp", "a.bmp"), "bmp", Expect::kExactSize,
     Structure::kDeclared},
    {"jpeg_quantisation_first",
     [](auto& d) {
       return samples::WithoutApplicationSegments(
           Tool(d, "convert -size 300x200 gradient:red-blue a.jpg", "a.jpg"));
     },
     "jpg", Expect::kExactSize, Structure::kFollowed},
    {"jpeg_progressive",
     ByTool("convert -seed 2 -size 400x300 plasma:fractal -interlace JPEG a.jpg", "a.jpg"), "jpg",
     Expect::kExactSize, Structure::kFollowed},
    {"jpeg_exif_thumbnail",
     ByTool("convert -seed 5 -size 300x200 plasma:fractal a.jpg && "
            "convert -size 60x40 gradient:red-blue t.jpg && "
            "exiftool -q -overwrite_original -Make=Canon '-ThumbnailImage<=t.jpg' a.jpg",
            "a.jpg"),
     "jpg", Expect::kExactSize, Structure::kFollowed},
    {"jpeg_multi_picture", MultiPicturePhoto, "jpg", Expect::kExactSize, Structure::kFollowed},
    {"gif_animated", ByTool("convert -size 40x30 xc:red xc:blue xc:green -loop 0 a.gif", "a.gif"),
     "gif", Expect::kExactSize, Structure::kFollowed},
    {"bmp_v4",
     [](auto& d) { return AsBmpV4(Tool(d, "convert -size 30x20 gradient: a.bmp", "a.bmp")); },
     "bmp", Expect::kExactSize, Structure::kDeclared},
    {"ico", ByTool("convert -size 16x16 xc:blue a.ico", "a.ico"), "ico", Expect::kExactSize},
    {"tiff", ByTool("convert -size 40x40 xc:red a.tif", "a.tif"), "tif", Expect::kExactSize,
     Structure::kFollowed},
    {"tiff_strips",
     ByTool("convert -size 300x200 gradient:red-blue -define tiff:rows-per-strip=7 a.tif", "a.tif"),
     "tif", Expect::kExactSize, Structure::kFollowed},
    {"nef_like", [](auto&) { return samples::MakeTiffRaw("NIKON CORPORATION"); }, "nef",
     Expect::kExactSize, Structure::kDeclared},
    {"arw_like", [](auto&) { return samples::MakeTiffRaw("SONY"); }, "arw", Expect::kExactSize,
     Structure::kDeclared},
    {"cr2",
     [](auto&) { return samples::MakeTiffRaw({.make = "Canon EOS 7D", .canon_marker = true}); },
     "cr2", Expect::kExactSize, Structure::kDeclared},
    {"nrw", [](auto&) { return samples::MakeTiffRaw({.make = "NIKON"}, 90'000); }, "nef",
     Expect::kExactSize, Structure::kDeclared},
    {"sr2", [](auto&) { return samples::MakeTiffRaw({.make = "SONY"}, 120'000); }, "arw",
     Expect::kExactSize, Structure::kDeclared},
    {"srf", [](auto&) { return samples::MakeTiffRaw({.make = "SONY"}, 60'000); }, "arw",
     Expect::kExactSize, Structure::kDeclared},
    {"dng", [](auto&) { return samples::MakeTiffRaw({.make = "Apple", .dng_version = true}); },
     "dng", Expect::kExactSize, Structure::kDeclared},
    {"pef", [](auto&) { return samples::MakeTiffRaw({.make = "PENTAX Corporation"}); }, "pef",
     Expect::kExactSize, Structure::kDeclared},
    {"orf", [](auto&) { return samples::MakeTiffRaw({.make = "OLYMPUS", .magic = "IIRO"}); }, "orf",
     Expect::kExactSize, Structure::kDeclared},
    {"rw2",
     [](auto&) {
       return samples::MakeTiffRaw({.make = "Panasonic", .magic = std::string_view("IIU\0", 4)});
     },
     "rw2", Expect::kExactSize, Structure::kDeclared},
    {"cr3", [](auto&) { return samples::MakeCr3(); }, "cr3", Expect::kExactSize,
     Structure::kDeclared},
    {"zip", ByTool("seq 1 3000 > n.txt && zip -q -X a.zip n.txt", "a.zip"), "zip",
     Expect::kExactSize, Structure::kFollowed},
    {"zip_with_comment",
     ByTool("seq 1 3000 > n.txt && echo 'holiday photos' | zip -q -X -z a.zip n.txt", "a.zip"),
     "zip", Expect::kExactSize, Structure::kFollowed},
    {"zip_holding_a_zip",
     ByTool("seq 1 3000 > n.txt && zip -q -X -0 in.zip n.txt && seq 1 900 > m.txt && "
            "zip -q -X -0 a.zip in.zip m.txt",
            "a.zip"),
     "zip", Expect::kExactSize, Structure::kFollowed},
    {"docx",
     ByTool("mkdir -p word && echo '<x/>' > '[Content_Types].xml' && seq 1 500 > "
            "word/document.xml && "
            "zip -q -X a.docx '[Content_Types].xml' word/document.xml",
            "a.docx"),
     "docx", Expect::kExactSize, Structure::kFollowed},
    {"gzip", ByTool("seq 1 5000 | gzip -9 -c > a.gz", "a.gz"), "gz", Expect::kToNextStart},
    {"sqlite",
     ByTool("python3 -c \"import sqlite3; c=sqlite3.connect('a.db'); c.execute('create "
            "table t(x)'); "
            "c.commit()\"",
            "a.db"),
     "db", Expect::kExactSize, Structure::kDeclared},
    {"mp4", ByTool(Ffmpeg("-c:v mpeg4 a.mp4"), "a.mp4"), "mp4", Expect::kExactSize,
     Structure::kFollowed},
    {"mp4_faststart", ByTool(Ffmpeg("-c:v mpeg4 -movflags +faststart a.mp4"), "a.mp4"), "mp4",
     Expect::kExactSize, Structure::kDeclared},
    {"mp4_mp42", ByTool(Ffmpeg("-c:v mpeg4 -brand mp42 a.mp4"), "a.mp4"), "mp4", Expect::kExactSize,
     Structure::kFollowed},
    {"mov", ByTool(Ffmpeg("-c:v mpeg4 a.mov"), "a.mov"), "mov", Expect::kExactSize,
     Structure::kFollowed},
    {"3gp", ByTool(Ffmpeg("-s 176x144 -c:v h263 -f 3gp a.3gp"), "a.3gp"), "3gp", Expect::kExactSize,
     Structure::kFollowed},
    {"m4a", ByTool(Tone("-c:a aac a.m4a"), "a.m4a"), "m4a", Expect::kExactSize,
     Structure::kFollowed},
    {"mp4_iso2", Mp4OfBrand("iso2"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_iso3", Mp4OfBrand("iso3"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_iso4", Mp4OfBrand("iso4"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_iso5", Mp4OfBrand("iso5"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_iso6", Mp4OfBrand("iso6"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_mp41", Mp4OfBrand("mp41"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_avc1", Mp4OfBrand("avc1"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"mp4_XAVC", Mp4OfBrand("XAVC"), "mp4", Expect::kExactSize, Structure::kFollowed},
    {"3gp_3gp5", ThreeGppOfBrand("3gp", "3gp5"), "3gp", Expect::kExactSize, Structure::kFollowed},
    {"3gp_3gp6", ThreeGppOfBrand("3gp", "3gp6"), "3gp", Expect::kExactSize, Structure::kFollowed},
    {"m4v", ByTool(Ffmpeg("-c:v mpeg4 a.m4v"), "a.m4v"), "m4v", Expect::kExactSize,
     Structure::kFollowed},
    {"3g2", ByTool(Ffmpeg("-s 176x144 -c:v h263 -f 3g2 a.3g2"), "a.3g2"), "3g2", Expect::kExactSize,
     Structure::kFollowed},
    {"heic",
     ByTool("convert -size 96x64 gradient:red-blue p.png && heif-enc -q 50 p.png -o a.heic",
            "a.heic"),
     "heic", Expect::kExactSize, Structure::kDeclared},
    {"avif",
     ByTool("convert -size 96x64 gradient:red-blue p.png && avifenc p.png a.avif", "a.avif"),
     "avif", Expect::kExactSize, Structure::kDeclared},
    {"webp",
     ByTool("convert -size 96x64 gradient:red-blue p.png && cwebp -quiet p.png -o a.webp",
            "a.webp"),
     "webp", Expect::kExactSize},
    {"bmp_short_size_field",
     [](auto& d) {
       // Some writers leave the size field at the headers' size.
       Bytes b = Tool(d, "convert -size 30x20 xc:green BMP3:a.bmp", "a.bmp");
       if (b.size() > 54) StoreLe32(b, 2, 54);
       return b;
     },
     "bmp", Expect::kExactSize, Structure::kDeclared},
    {"mp3", ByTool(Mp3Tool("a.mp3"), "a.mp3"), "mp3", Expect::kExactSize, Structure::kDeclared},
    {"mp3_id3v1", ByTool(Mp3Tool("-metadata title=sea -write_id3v1 1 a.mp3"), "a.mp3"), "mp3",
     Expect::kExactSize, Structure::kDeclared},
    {"mp3_ape_tag_before_id3v1",
     [](auto& d) {
       return WithApeTag(Tool(d, Mp3Tool("-metadata title=sea -write_id3v1 1 a.mp3"), "a.mp3"));
     },
     "mp3", Expect::kExactSize, Structure::kDeclared},
    {"x3f", [](auto&) { return samples::MakeX3f(); }, "x3f", Expect::kExactSize,
     Structure::kFollowed},
    {"pdf", [](auto&) { return samples::MakeOnePagePdf(); }, "pdf", Expect::kExactSize,
     Structure::kFollowed},
    {"pdf_updated_in_a_later_chunk",
     [](auto&) { return samples::WithPdfUpdate(samples::MakeOnePagePdf(), 150'000); }, "pdf",
     Expect::kExactSize, Structure::kDeclared},
    {"m2ts",
     [](auto& d) {
       Bytes m2ts =
           Tool(d, Ffmpeg("-c:v mpeg2video -f mpegts -mpegts_m2ts_mode 1 a.m2ts"), "a.m2ts");
       if (m2ts.size() < 192) return m2ts;
       // Cameras lead with a program table of two entries (network and
       // programme 1) where ffmpeg writes its service table first.
       const uint8_t table[] = {0x47, 0x40, 0x00, 0x10, 0x00, 0x00, 0xB0, 0x11, 0x00,
                                0x00, 0xC1, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x10, 0x00,
                                0x01, 0xF0, 0x00, 0x2A, 0xB1, 0x04, 0xB2};
       std::fill(m2ts.begin() + 4, m2ts.begin() + 192, 0xFF);
       std::copy(std::begin(table), std::end(table), m2ts.begin() + 4);
       return m2ts;
     },
     "mts", Expect::kExactSize, Structure::kDeclared},
    {"m2ts_led_by_the_service_table",
     ByTool(Ffmpeg("-c:v mpeg2video -f mpegts -mpegts_m2ts_mode 1 a.m2ts"), "a.m2ts"), "m2ts",
     Expect::kExactSize, Structure::kDeclared},
    {"avi", ByTool(Ffmpeg("-c:v mpeg4 a.avi"), "a.avi"), "avi", Expect::kExactSize,
     Structure::kDeclared},
    {"avi_with_extension",
     [](auto& d) {
       Bytes avi = Tool(d, Ffmpeg("-c:v mpeg4 a.avi"), "a.avi");
       if (avi.empty()) return avi;
       // An OpenDML extension as recorders write past 1 GiB: a RIFF list of
       // form "AVIX" holding a "movi" list with one video chunk.
       Bytes extension(12 + 12 + 8 + 3000, 0);
       std::memcpy(extension.data(), "RIFF", 4);
       StoreLe32(extension, 4, static_cast<uint32_t>(extension.size() - 8));
       std::memcpy(extension.data() + 8, "AVIXLIST", 8);
       StoreLe32(extension, 16, static_cast<uint32_t>(extension.size() - 20));
       std::memcpy(extension.data() + 20, "movi00dc", 8);
       StoreLe32(extension, 28, 3000);
       avi.insert(avi.end(), extension.begin(), extension.end());
       return avi;
     },
     "avi", Expect::kExactSize, Structure::kDeclared},
    {"mkv", ByTool(Ffmpeg("-c:v mpeg4 a.mkv"), "a.mkv"), "mkv", Expect::kExactSize,
     Structure::kFollowed},
    {"webm", ByTool(Ffmpeg("-c:v libvpx -b:v 200k a.webm"), "a.webm"), "mkv", Expect::kExactSize,
     Structure::kFollowed},
    {"raf", [](auto&) { return samples::MakeRaf(); }, "raf", Expect::kExactSize,
     Structure::kDeclared},
    {"wav", [](auto&) { return samples::MakeWav(3000); }, "wav", Expect::kExactSize},
    {"wav_ffmpeg", ByTool(Tone("a.wav"), "a.wav"), "wav", Expect::kExactSize},
    {"sqlite_many_pages",
     ByTool("sqlite3 a.db 'create table t(x); with recursive c(i) as (select 1 union all "
            "select i + 1 from c where i < 300) insert into t select randomblob(400) from c;'",
            "a.db"),
     "db", Expect::kExactSize, Structure::kDeclared},
    {"mp3_with_tag", [](auto&) { return samples::MakeMp3(5000, true); }, "mp3", Expect::kExactSize},
    {"pdf_lf", [](auto&) { return samples::MakePdf(3000, "\n"); }, "pdf", Expect::kExactSize},
    {"pdf_crlf", [](auto&) { return samples::MakePdf(3000, "\r\n"); }, "pdf", Expect::kExactSize},
    {"doc", [](auto&) { return samples::MakeCompoundDocument(5, u"WordDocument"); }, "doc",
     Expect::kExactSize},
    {"xls", [](auto&) { return samples::MakeCompoundDocument(3, u"Wordbook"); }, "xls",
     Expect::kExactSize},
    {"ole", [](auto&) { return samples::MakeCompoundDocument(3, u"Contents"); }, "ole",
     Expect::kExactSize},
    {"ppt", [](auto&) { return samples::MakeCompoundDocument(2, u"PowerPoint Document"); }, "ppt",
     Expect::kExactSize},
    {"mpeg", [](auto&) { return samples::MakePacketisedProgramStream(4000); }, "mpeg",
     Expect::kExactSize},
    {"ts", [](auto&) { return samples::MakeTransportStream(60); }, "ts", Expect::kExactSize},
    {"mpeg2_program_stream", ByTool(Ffmpeg("-c:v mpeg2video -f vob a.vob", 25), "a.vob"), "mpeg",
     Expect::kExactSize, Structure::kDeclared},
    {"mpeg1_system_stream", ByTool(Ffmpeg("-c:v mpeg1video -f mpeg a.mpg", 25), "a.mpg"), "mpeg",
     Expect::kExactSize, Structure::kDeclared},
};

// A test over one format's file, made afresh for it; skipped where the tool
// that makes the file is missing.
class FormatFileTest : public CarvingTest, public ::testing::WithParamInterface<FormatCase> {
 protected:
  void SetUp() override {
    file_ = GetParam().make(work_.path());
    if (file_.empty()) GTEST_SKIP() << "tool for " << GetParam().label << " not available";
  }

  // Where the file is placed on the medium.
  static constexpr uint64_t kStart = 40;
  Bytes file_;
};

class FormatCarvingTest : public FormatFileTest {};

// Each format placed on a medium between other data and an NTFS file record:
// the start sector, extension and length are found, and recovery gives the
// original bytes wherever the length rule is exact.
TEST_P(FormatCarvingTest, FindsStartExtensionAndLength) {
  const FormatCase& c = GetParam();
  const uint64_t stopper = kStart + SectorsFor(file_.size()) + 3;
  Medium medium(stopper + 8);
  medium.Place(3, samples::Filler(kSector * 30));
  medium.Place(kStart, file_);
  medium.Place(stopper, samples::MakeNtfsFileRecord());

  const auto records = Carve(medium);
  const std::string name = std::to_string(kStart) + "." + c.extension;
  const auto record = Find(records, name);
  ASSERT_TRUE(record.has_value()) << c.label << ": no " << name << " among " << records.size();
  EXPECT_EQ(uint64_t{record->entry_sector}, kStart);
  EXPECT_EQ(uint64_t{record->fs_kind}, 4u);
  EXPECT_EQ(int64_t{record->cluster_bytes}, -1);
  if (c.expect == Expect::kExactSize) {
    EXPECT_EQ(uint64_t{record->size}, file_.size()) << c.label;
    EXPECT_EQ(Recover(*record), file_) << c.label;
  } else {
    EXPECT_EQ(uint64_t{record->size}, (stopper - kStart) * kSector) << c.label;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatCarvingTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

std::vector<FormatCase> StructuredFormats() {
  std::vector<FormatCase> cases;
  std::copy_if(std::begin(kFormats), std::end(kFormats), std::back_inserter(cases),
               [](const FormatCase& c) { return c.structure != Structure::kNone; });
  return cases;
}

class StructuredFormatTest : public FormatFileTest {};

// Each file followed at once by debris (text, as left by older files) up to
// the next file: its structure ends it byte-exact. Cut short in the middle,
// a followed file runs on to the next start as the table's rule has it,
// and a declared one ends where its header says, never beyond.
TEST_P(StructuredFormatTest, EndsExactlyBeforeDebrisAndFallsBackWhenCut) {
  const FormatCase& c = GetParam();
  const uint64_t next = kStart + SectorsFor(file_.size()) + 6;
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    const Bytes placed(
        file_.begin(),
        file_.begin() + static_cast<std::ptrdiff_t>(cut ? file_.size() * 2 / 3 : file_.size()));
    Medium medium(next + 8);
    medium.Place(kStart, placed);
    const Bytes debris = samples::Filler((next - kStart) * kSector - placed.size(), 9);
    std::copy(
        debris.begin(), debris.end(),
        medium.bytes().begin() + static_cast<std::ptrdiff_t>(kStart * kSector + placed.size()));
    medium.Place(next, samples::MakeNtfsFileRecord());

    const auto record = Find(Carve(medium), std::to_string(kStart) + "." + c.extension);
    ASSERT_TRUE(record.has_value());
    if (cut && c.structure == Structure::kFollowed) {
      EXPECT_EQ(uint64_t{record->size}, (next - kStart) * kSector);
    } else if (cut) {
      EXPECT_LE(uint64_t{record->size}, file_.size());
    } else {
      EXPECT_EQ(uint64_t{record->size}, file_.size());
      EXPECT_EQ(Recover(*record), file_);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, StructuredFormatTest, ::testing::ValuesIn(StructuredFormats()),
                         [](const auto& info) { return std::string(info.param.label); });

// Old bytes between the files of a card: whole sectors of what earlier
// files and the file system left there, a different kind after each file.
Bytes Debris(std::size_t index) {
  switch (index % 5) {
    case 0: {
      std::mt19937 random(static_cast<uint32_t>(index));
      Bytes b(kSector * (1 + index % 4));
      for (uint8_t& byte : b) byte = static_cast<uint8_t>(random());
      return b;
    }
    case 1:
      return samples::Filler(kSector * 3, static_cast<uint8_t>(index));
    case 2:
      return MakeFatDirectorySector();
    case 3:
      return samples::MakeRoutedNtfsFileRecord();
    default:
      return samples::MakeJpeg(2 * kSector, true);
  }
}

// How the carved records of one format's placed files compare with them.
struct FormatCounts {
  int placed = 0, exact = 0, too_long = 0, too_short = 0, missing = 0, other_type = 0;
};

void PrintCounts(const std::vector<std::pair<std::string, FormatCounts>>& table) {
  std::printf("%-32s %6s %6s %8s %9s %7s %10s\n", "format", "placed", "exact", "too long",
              "too short", "missing", "other type");
  FormatCounts all;
  for (const auto& [label, c] : table) {
    std::printf("%-32s %6d %6d %8d %9d %7d %10d\n", label.c_str(), c.placed, c.exact, c.too_long,
                c.too_short, c.missing, c.other_type);
    all.placed += c.placed;
    all.exact += c.exact;
    all.too_long += c.too_long;
    all.too_short += c.too_short;
    all.missing += c.missing;
    all.other_type += c.other_type;
  }
  std::printf("%-32s %6d %6d %8d %9d %7d %10d\n", "all", all.placed, all.exact, all.too_long,
              all.too_short, all.missing, all.other_type);
}

// A card as cameras and phones leave it, holding two files of every format
// whose structure or header tells its length: first end to end, each at
// the sector behind the one before, then each with old bytes in the rest
// of its last sector and debris behind it. Every file comes back
// byte-exact and of its own type; the per-format counts are printed.
TEST_F(CarvingTest, CardOfEveryFormatGivesEachFileBackByteExact) {
  std::vector<std::pair<const FormatCase*, Bytes>> files;
  std::string skipped;
  for (const FormatCase& c : kFormats) {
    if (c.expect != Expect::kExactSize) continue;
    // A folder per file: the tools refuse to overwrite another case's output.
    const std::filesystem::path folder = work_.path() / "made" / c.label;
    std::filesystem::create_directories(folder);
    Bytes file = c.make(folder);
    if (file.empty()) {
      skipped += std::string(" ") + c.label;
    } else {
      files.emplace_back(&c, std::move(file));
    }
  }
  if (files.empty()) GTEST_SKIP() << "no tool to make the files";
  uint64_t sectors = 64;
  for (std::size_t i = 0; i < files.size(); ++i) {
    sectors += 2 * SectorsFor(files[i].second.size()) + SectorsFor(Debris(i).size());
  }
  Medium medium(sectors + 64, 0);
  struct Placed {
    std::size_t file;
    uint64_t sector;
  };
  std::vector<Placed> placed;
  uint64_t at = 32;
  for (std::size_t i = 0; i < files.size(); ++i) {
    medium.Place(at, files[i].second);
    placed.push_back({i, at});
    at += SectorsFor(files[i].second.size());
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Bytes& file = files[i].second;
    medium.Place(at, file);
    placed.push_back({i, at});
    const uint64_t end = at + SectorsFor(file.size());
    const std::size_t file_end = at * kSector + file.size();
    const Bytes old = samples::Filler(end * kSector - file_end, static_cast<uint8_t>(i));
    std::copy(old.begin(), old.end(),
              medium.bytes().begin() + static_cast<std::ptrdiff_t>(file_end));
    const Bytes debris = Debris(i);
    medium.Place(end, debris);
    at = end + SectorsFor(debris.size());
  }

  std::map<uint64_t, FoundFileRecord> carved;
  for (const FoundFileRecord& record : Carve(medium))
    carved.emplace(uint64_t{record.entry_sector}, record);
  std::vector<std::pair<std::string, FormatCounts>> table;
  for (const auto& [format, file] : files) table.emplace_back(format->label, FormatCounts{});
  for (const Placed& p : placed) {
    const auto& [format, file] = files[p.file];
    FormatCounts& counts = table[p.file].second;
    ++counts.placed;
    const auto found = carved.find(p.sector);
    if (found == carved.end()) {
      ++counts.missing;
      ADD_FAILURE() << format->label << " at sector " << p.sector << ": no record";
      continue;
    }
    const uint64_t size = found->second.size;
    const std::string name(found->second.Name());
    const std::string extension = std::string(".") + format->extension;
    if (!name.ends_with(extension)) ++counts.other_type;
    EXPECT_TRUE(name.ends_with(extension)) << format->label << " carved as " << name;
    if (size == file.size()) {
      ++counts.exact;
    } else {
      ++(size > file.size() ? counts.too_long : counts.too_short);
    }
    EXPECT_EQ(size, file.size()) << format->label << " at sector " << p.sector;
  }
  PrintCounts(table);
  if (!skipped.empty()) std::printf("not placed, tool missing:%s\n", skipped.c_str());
}

// A camera stream of 64 packets of 192 bytes (24 sectors), its arrival
// time stamps counting from `first_stamp`. The program table comes every
// 8th packet, so at every third sector start, the service table 4 packets
// behind it; the tables' continuity counts start at `first_count`. A
// muxer's stream leads with the service table instead.
Bytes CameraStream(int first_count, uint32_t first_stamp, bool service_table_first) {
  constexpr std::size_t kPackets = 64, kPacketBytes = 192;
  // Cameras list two programs (network and programme 1), muxers one.
  const uint8_t program_table[] = {
      0x00, 0x00, 0xB0, static_cast<uint8_t>(service_table_first ? 0x0D : 0x11),
      0x00, 0x00, 0xC1, 0x00};
  const uint8_t service_table[] = {0x00, 0x42, 0xF0, 0x11, 0x00, 0x01, 0xC1, 0x00};
  Bytes b(kPackets * kPacketBytes, 0xFF);
  for (std::size_t p = 0; p < kPackets; ++p) {
    uint8_t* packet = b.data() + p * kPacketBytes;
    StoreBe32(b, p * kPacketBytes, first_stamp + static_cast<uint32_t>(p * 1000));
    const bool service = p % 8 == 4 || (p == 0 && service_table_first);
    const bool program = p % 8 == 0 && !service;
    const auto table_count = static_cast<uint8_t>((first_count + p / 8) % 16);
    packet[4] = 0x47;
    packet[5] = program ? 0x40 : service ? 0x40 : 0x01;
    packet[6] = program ? 0x00 : service ? 0x11 : 0x00;
    packet[7] = static_cast<uint8_t>(0x10 | (program || service ? table_count : p % 16));
    if (program) std::copy(std::begin(program_table), std::end(program_table), packet + 8);
    if (service) std::copy(std::begin(service_table), std::end(service_table), packet + 8);
  }
  return b;
}

// Cameras write whole sectors of packets, so a recording right behind
// another continues its packet grid, time stamps aside: a table at a
// sector start whose count starts afresh begins the next file; one whose
// count runs on belongs to the same.
TEST_F(CarvingTest, CameraStreamsEndToEndAreToldApartByTheirTableCounts) {
  constexpr uint64_t kStreamBytes = 64 * 192;
  struct Case {
    const char* what;
    Bytes second;
    std::vector<std::pair<std::string, uint64_t>> records;  // name and size
  };
  const Case cases[] = {
      {"a muxer's stream behind",
       CameraStream(0, 900'000, true),
       {{"10.mts", kStreamBytes}, {"34.m2ts", kStreamBytes}}},
      {"the same recording, counts and clock running on",
       CameraStream(8, 64'000, false),
       {{"10.mts", 2 * kStreamBytes}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Medium medium(100);
    medium.Place(10, CameraStream(0, 0, false));
    medium.Place(34, c.second);
    medium.Place(58, samples::MakeNtfsFileRecord());
    const auto records = Carve(medium);
    EXPECT_EQ(records.size(), c.records.size());
    for (const auto& [name, size] : c.records) {
      const auto record = Find(records, name);
      ASSERT_TRUE(record.has_value()) << name;
      EXPECT_EQ(uint64_t{record->size}, size) << name;
    }
  }
}

// Length rules whose result is not the file's own size.
struct LengthCase {
  const char* label;
  std::function<void(Medium&)> lay_out;  // a file at sector 10
  const char* name;
  uint64_t expected_size;
};

Bytes GifEndingAtSectorBoundary() {
  Bytes b;
  samples::Append(b, "GIF89a");
  Bytes body = samples::Filler(2 * kSector - 8, 2);
  b.insert(b.end(), body.begin(), body.end());
  b.push_back(0x00);
  b.push_back(0x3B);
  return b;
}

Bytes ZipWithComment(std::size_t comment_bytes) {
  Bytes b;
  samples::Append(b, std::string_view("PK\x03\x04", 4));
  Bytes body = samples::Filler(700, 4);
  b.insert(b.end(), body.begin(), body.end());
  Bytes end(22, 0);
  std::memcpy(end.data(), "PK\x05\x06", 4);
  StoreLe16(end, 20, static_cast<uint16_t>(comment_bytes));
  b.insert(b.end(), end.begin(), end.end());
  Bytes comment = samples::Filler(comment_bytes, 6);
  b.insert(b.end(), comment.begin(), comment.end());
  return b;
}

Bytes JpegHeader() {
  Bytes b(20, 0);
  const uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
  std::memcpy(b.data(), head, sizeof(head));
  return b;
}

const LengthCase kLengthCases[] = {
    {"jpeg_end_followed_by_data_runs_to_next_start",
     [](Medium& m) {
       Bytes jpeg = JpegHeader();
       Bytes body = samples::Filler(700, 1);
       jpeg.insert(jpeg.end(), body.begin(), body.end());
       jpeg.push_back(0xFF);
       jpeg.push_back(0xD9);
       jpeg.push_back(0x55);  // not clean: more data in the sector
       m.Place(10, jpeg);
       m.Place(20, samples::MakeNtfsFileRecord());
     },
     "10.jpg", 10 * kSector},
    {"gif_trailer_at_sector_boundary",
     [](Medium& m) {
       m.Place(10, GifEndingAtSectorBoundary());
       m.Place(12, samples::Filler(kSector, 8));
     },
     "10.gif", 2 * kSector},
    {"zip_comment_left_out", [](Medium& m) { m.Place(10, ZipWithComment(40)); }, "10.zip",
     4 + 700 + 22},
    {"mp3_without_tag_runs_to_fat_directory",
     [](Medium& m) {
       m.Place(10, samples::MakeMp3(3000, false));
       m.Place(30, MakeFatDirectorySector());
     },
     "10.mp3", 20 * kSector},
    {"transport_stream_loses_grid",
     [](Medium& m) {
       m.Place(10, samples::MakeTransportStream(80, 50));
       m.Place(60, samples::MakeNtfsFileRecord());
     },
     "10.ts", 50 * 188},
    {"bmp_size_zero",
     [](Medium& m) {
       Bytes bmp(64, 0);
       std::memcpy(bmp.data(), "BM", 2);
       StoreLe32(bmp, 14, 40);
       m.Place(10, bmp);
     },
     "10.bmp", 0},
};

class LengthRuleTest : public CarvingTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(LengthRuleTest, CarvesExpectedLength) {
  const LengthCase& c = GetParam();
  Medium medium(100);
  c.lay_out(medium);
  const auto records = Carve(medium);
  const auto record = Find(records, c.name);
  ASSERT_TRUE(record.has_value()) << c.label;
  EXPECT_EQ(uint64_t{record->size}, c.expected_size) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Rules, LengthRuleTest, ::testing::ValuesIn(kLengthCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(CarvingTest, NamesFileAfterItsStartSectorAndResumesBehindIt) {
  const Bytes jpeg =
      samples::MakeWithTool(work_.path(), "convert -size 300x200 gradient: -strip a.jpg", "a.jpg");
  if (jpeg.empty()) GTEST_SKIP() << "ImageMagick not available";
  Medium medium(20480 + 64);
  medium.Place(20480, jpeg);
  const auto records = Carve(medium);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Name(), "20480.jpg");
  EXPECT_EQ(uint64_t{records[0].entry_sector}, 20480u);

  DiskHandle disk = medium.Open();
  uint64_t skip = 0;
  uint64_t found = 0;
  EXPECT_EQ(engine_.CarveSector(kSector, medium.bytes().data() + 20480 * kSector, kSector, 20480,
                                {}, disk, &skip, &found),
            0);
  EXPECT_EQ(skip, SectorsFor(jpeg.size()));
  EXPECT_EQ(found, 1u);
}

TEST_F(CarvingTest, HeaderFieldFormatsResumeAtTheNextSector) {
  Medium medium(64);
  Bytes bmp(64, 0);
  std::memcpy(bmp.data(), "BM", 2);
  StoreLe32(bmp, 2, 4 * kSector);
  StoreLe32(bmp, 14, 40);
  medium.Place(10, bmp);
  medium.Place(11, samples::MakeWav(100));  // inside the BMP, still found
  const auto records = Carve(medium);
  EXPECT_TRUE(Find(records, "10.bmp").has_value());
  EXPECT_TRUE(Find(records, "11.wav").has_value());
}

TEST_F(CarvingTest, ExecutablesAreRecognisedButNotRecorded) {
  Bytes exe(kSector, 0);
  std::memcpy(exe.data(), "MZ", 2);
  StoreLe32(exe, 60, 128);
  std::memcpy(exe.data() + 128, "PE\0\0", 4);
  StoreLe16(exe, 128 + 22, 0x0002);
  Medium medium(32);
  medium.Place(5, exe);
  medium.Place(6, samples::MakeWav(100));
  const auto records = Carve(medium);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Name(), "6.wav");
}

// A PNG whose bytes were changed inside a chunk keeps its length but is
// listed as damaged; one byte changed anywhere in the chunks is enough.
TEST_F(CarvingTest, PngFailingItsChecksumsIsMarkedDamaged) {
  const Bytes png = Tool(work_.path(), "convert -size 300x200 gradient:red-blue a.png", "a.png");
  if (png.empty()) GTEST_SKIP() << "ImageMagick not available";
  struct Case {
    const char* what;
    std::size_t changed_at;  // 0: unchanged
    uint32_t content_check;
  };
  const Case cases[] = {
      {"intact", 0, 1},
      {"image data changed", png.size() / 2, 0},
      {"header chunk changed", 8 + 8 + 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = png;
    if (c.changed_at != 0) file[c.changed_at] ^= 0x5A;
    Medium medium(SectorsFor(file.size()) + 30);
    medium.Place(10, file);
    const auto record = Find(Carve(medium), "10.png");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(uint64_t{record->size}, file.size());
    EXPECT_EQ(uint32_t{record->content_check}, c.content_check);
  }
}

// A photo whose scan data was overwritten or cut keeps a walkable marker
// structure; decoding tells it apart, and it is listed as damaged.
TEST_F(CarvingTest, JpegNotDecodingToItsFullHeightIsMarkedDamaged) {
  const std::string photo = "convert -seed 3 -size 400x300 plasma:fractal -quality 90 ";
  const Bytes baseline = Tool(work_.path(), photo + "b.jpg", "b.jpg");
  const Bytes progressive = Tool(work_.path(), photo + "-interlace JPEG p.jpg", "p.jpg");
  const Bytes other = Tool(work_.path(), "convert -size 300x300 gradient:red-blue o.jpg", "o.jpg");
  if (baseline.empty() || progressive.empty() || other.empty()) {
    GTEST_SKIP() << "ImageMagick not available";
  }
  enum class Harm { kNone, kZeros, kOtherFile, kCut };
  struct Case {
    const char* what;
    Harm harm;
    uint32_t content_check;
  };
  const Case cases[] = {
      {"intact", Harm::kNone, 1},
      {"second half overwritten by zeros", Harm::kZeros, 0},
      {"second half another photo's", Harm::kOtherFile, 0},
      {"cut at two thirds, text debris behind", Harm::kCut, 0},
  };
  for (const auto& [kind, picture] :
       {std::pair{"baseline", &baseline}, std::pair{"progressive", &progressive}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(kind) + ", " + c.what);
      Bytes file = *picture;
      const auto half = static_cast<std::ptrdiff_t>(file.size() / 2);
      if (c.harm == Harm::kZeros) std::fill(file.begin() + half, file.end(), 0);
      if (c.harm == Harm::kOtherFile) {
        file.resize(file.size() / 2);
        file.insert(file.end(), other.begin() + static_cast<std::ptrdiff_t>(other.size() / 2),
                    other.end());
      }
      if (c.harm == Harm::kCut) file.resize(file.size() * 2 / 3);
      Medium medium(SectorsFor(file.size()) + 60);
      medium.Place(10, file);
      medium.Place(10 + SectorsFor(file.size()) + 1, samples::Filler(kSector * 10, 4));
      medium.Place(10 + SectorsFor(file.size()) + 30, samples::MakeNtfsFileRecord());
      const auto record = Find(Carve(medium), "10.jpg");
      ASSERT_TRUE(record.has_value());
      if (c.harm == Harm::kNone) {
        EXPECT_EQ(uint64_t{record->size}, file.size());
      }
      EXPECT_EQ(uint32_t{record->content_check}, c.content_check);
    }
  }
}

TEST_F(CarvingTest, LongTransportStreamIsOneFile) {
  Medium medium(400);
  medium.Place(10, samples::MakeTransportStream(900));
  const auto records = Carve(medium);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(uint64_t{records[0].size}, 900u * 188);
  // A second scan finds the same stream again.
  EXPECT_EQ(Carve(medium).size(), 1u);
}

TEST_F(CarvingTest, FileAtTheEndOfTheMediumKeepsItsLastSectors) {
  Medium medium(50);
  medium.Place(40, samples::MakeMp3(2000, true));
  const auto records = Carve(medium);
  const auto mp3 = Find(records, "40.mp3");
  ASSERT_TRUE(mp3.has_value());
  EXPECT_EQ(uint64_t{mp3->size}, samples::MakeMp3(2000, true).size());
}

// A mostly empty card: photos far apart in zeros. A length search must stop
// at each photo's own end marker, never at one of a photo found later in
// the medium, whatever the gap (within a chunk, just past one, far behind).
TEST_F(CarvingTest, PhotosApartInZerosComeBackByteExact) {
  const Bytes real =
      samples::MakeWithTool(work_.path(), "convert -size 120x80 gradient:red-blue a.jpg", "a.jpg");
  const std::vector<Bytes> photos = {samples::MakeJpeg(11'000, true),
                                     samples::MakeJpeg(3'000, true), real,
                                     samples::MakeJpeg(70'000, true)};
  const struct {
    const char* label;
    uint64_t gap_bytes;
  } gaps[] = {{"adjacent", 0},
              {"64 KiB", 64 * 1024},
              {"80 KiB", 80 * 1024},
              {"200 KiB", 200 * 1024},
              {"2 MiB", 2 * 1024 * 1024}};
  for (const auto& gap : gaps) {
    SCOPED_TRACE(gap.label);
    std::vector<std::pair<std::string, const Bytes*>> placed;
    uint64_t sector = 8;
    for (int round = 0; round < 3; ++round) {
      for (const Bytes& photo : photos) {
        if (photo.empty()) continue;  // ImageMagick missing
        placed.emplace_back(std::to_string(sector) + ".jpg", &photo);
        sector += SectorsFor(photo.size()) + gap.gap_bytes / kSector;
      }
    }
    Medium medium(sector + 64);
    uint64_t at = 8;
    for (const auto& [name, photo] : placed) {
      medium.Place(at, *photo);
      at += SectorsFor(photo->size()) + gap.gap_bytes / kSector;
    }
    const auto records = Carve(medium);
    for (const auto& [name, photo] : placed) {
      const auto record = Find(records, name);
      ASSERT_TRUE(record.has_value()) << name;
      EXPECT_EQ(uint64_t{record->size}, photo->size()) << name;
    }
  }
}

int32_t CancelOnThirdReport(void* user, int32_t, int32_t, int32_t, uint64_t, uint64_t, uint64_t,
                            int32_t) {
  int* calls = static_cast<int*>(user);
  return ++*calls >= 3 ? kCancelCode : 0;
}

TEST_F(CarvingTest, CancelDuringLengthSearchStillRecordsTheFile) {
  Medium medium(4096);
  Bytes mkv(64, 0);
  const uint8_t magic[] = {0x1A, 0x45, 0xDF, 0xA3};
  std::memcpy(mkv.data(), magic, 4);
  medium.Place(0, mkv);
  int calls = 0;
  // The range's own first report is call 1; the length search reports per
  // 64 KiB chunk.
  ASSERT_EQ(engine_.SetProgressCallbacks(CancelOnThirdReport, nullptr, &calls, 90), 0);
  ErrorCode rc = 0;
  const auto records = Carve(medium, &rc);
  EXPECT_EQ(rc, kCancelCode);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Name(), "0.mkv");
  EXPECT_EQ(uint64_t{records[0].size}, kSector + 65536u);
}

// Records from two sources written to one destination: names collide, are
// numbered, and every file is byte-identical.
TEST_F(CarvingTest, RecoveryRunWritesUniqueNamesByteIdentical) {
  Medium medium(64);
  const Bytes wav = samples::MakeWav(2000);
  medium.Place(8, wav);
  const auto records = Carve(medium);
  ASSERT_EQ(records.size(), 1u);
  FoundFileRecord twin = records[0];
  twin.source_id = 7;
  CFileTypeRecovery other(history_);
  OpenOn(other, medium.bytes());

  const std::filesystem::path root = work_.path() / "dest";
  RecoveryRun run({{0, &engine_}, {7, &other}}, root, nullptr, nullptr);
  const FoundFileRecord selected[] = {records[0], twin};
  EXPECT_EQ(run.Run(selected), 0);
  EXPECT_EQ(run.finished(), 2u);
  EXPECT_EQ(run.failed(), 0u);
  EXPECT_EQ(samples::ReadFileBytes(root / "audio" / "8.wav"), wav);
  EXPECT_EQ(samples::ReadFileBytes(root / "audio" / "8(1).wav"), wav);
}

struct ProgressLog {
  int calls = 0;
  int cancel_after = -1;
  std::vector<int32_t> errors;
};

int32_t LogRecovery(void* user, int32_t percent, int32_t, int32_t error, const char*, uint64_t) {
  auto* log = static_cast<ProgressLog*>(user);
  ++log->calls;
  if (percent == 100) log->errors.push_back(error);
  return log->cancel_after >= 0 && log->calls > log->cancel_after ? kCancelCode : 0;
}

FoundFileRecord CarvedRecord(std::string_view name, uint64_t sector, uint64_t size) {
  FoundFileRecord r = EmptyRecord();
  r.fs_kind = static_cast<uint32_t>(FsKind::kCarving);
  r.entry_sector = sector;
  r.size = size;
  r.SetName(name);
  return r;
}

TEST_F(CarvingTest, RecoveryRunCountsFailuresAndStopsOnlyOnCancel) {
  Medium medium(400);
  OpenOn(engine_, medium.bytes());
  const std::filesystem::path root = work_.path() / "dest";
  ProgressLog log;
  RecoveryRun run({{0, &engine_}}, root, LogRecovery, &log);
  const FoundFileRecord selected[] = {
      CarvedRecord("empty.jpg", 1, 0),        // size 0: an empty file, finished at once
      CarvedRecord("beyond.jpg", 399, 4096),  // past the end of the medium
      CarvedRecord("../../escape", 2, 100),   // crafted name
      CarvedRecord("orphan.jpg", 2, 100),
  };
  FoundFileRecord orphan = selected[3];
  orphan.source_id = 99;  // no engine for it
  const FoundFileRecord run_records[] = {selected[0], selected[1], selected[2], orphan};
  EXPECT_EQ(run.Run(run_records), 0);
  EXPECT_EQ(run.finished(), 4u);
  EXPECT_EQ(run.failed(), 2u);
  EXPECT_TRUE(std::filesystem::exists(root / "photo" / "empty.jpg"));
  EXPECT_EQ(std::filesystem::file_size(root / "photo" / "empty.jpg"), 0u);
  EXPECT_EQ(log.errors,
            (std::vector<int32_t>{0, err::kInvalidParameter, 0, err::kInvalidParameter}));
  // Nothing was written outside the destination.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(work_.path())) {
    const std::string path = entry.path().string();
    EXPECT_EQ(
        path.rfind(root.string(), 0) == 0 || path.rfind((work_.path() / "log").string(), 0) == 0,
        true)
        << path;
  }

  ProgressLog cancel;
  cancel.cancel_after = 0;
  RecoveryRun cancelled({{0, &engine_}}, root, LogRecovery, &cancel);
  const FoundFileRecord big[] = {CarvedRecord("big.jpg", 0, 300 * kSector),
                                 CarvedRecord("next.jpg", 0, 10)};
  EXPECT_EQ(cancelled.Run(big), kCancelCode);
  EXPECT_EQ(cancelled.finished(), 0u);
  EXPECT_FALSE(std::filesystem::exists(root / "photo" / "next.jpg"));
}

TEST_F(CarvingTest, PreviewExtractionChoosesFileOrMemoryByType) {
  Medium medium(16);
  medium.Place(2, samples::MakeWav(1000));
  OpenOn(engine_, medium.bytes());
  const std::filesystem::path scan_log = history_.root();
  struct Case {
    const char* name;
    std::optional<std::filesystem::path> file;  // none: memory
  } cases[] = {
      {"2.jpeg", scan_log / "tmp.jpg"},
      {"2.docx", scan_log / "2.docx"},
      {"2.wav", scan_log / "tmp.avi"},
      {"2.txt", std::nullopt},
  };
  for (const Case& c : cases) {
    uint8_t buffer[600] = {};
    uint32_t byte_count = sizeof(buffer);
    std::string path;
    ASSERT_EQ(engine_.ExtractForPreview(CarvedRecord(c.name, 2, 1044), &path, buffer, &byte_count,
                                        nullptr, nullptr),
              0)
        << c.name;
    if (c.file) {
      EXPECT_EQ(path, c.file->string()) << c.name;
      EXPECT_EQ(std::filesystem::file_size(*c.file), 1044u) << c.name;
      EXPECT_EQ(byte_count, 0u);
    } else {
      EXPECT_TRUE(path.empty());
      EXPECT_EQ(byte_count, sizeof(buffer));
      EXPECT_EQ(std::memcmp(buffer, "RIFF", 4), 0);
    }
  }
}

TEST_F(CarvingTest, QueriesWithoutStoreAnswerNothing) {
  CFileTypeRecovery fresh(history_);
  std::vector<FoundFileRecord> out;
  uint32_t count = 5;
  EXPECT_EQ(fresh.GetRecordCount(), 0u);
  EXPECT_EQ(fresh.ListFolder(nullptr, 0, &out), 0);
  EXPECT_EQ(fresh.CountFiles(nullptr, 0, &count), 0);
  EXPECT_EQ(fresh.SetSearchCallback(nullptr, nullptr), err::kInvalidParameter);
  EXPECT_EQ(fresh.FindFiles("*.jpg", &out), 0);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace vexlo
