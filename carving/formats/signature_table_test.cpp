#include "carving/formats/signature_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "carving/formats/type_codes.h"
#include "ondisk/endian.h"
#include "platform/sector_source.h"

namespace vexlo::carving {
namespace {

constexpr uint32_t kSector = 512;
using Bytes = std::vector<uint8_t>;

Bytes Hex(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Minimal headers, one per format family, as they start a sector.
struct HeaderCase {
  const char* label;
  Bytes header;
  int32_t expected_code;
  const char* carved_extension;  // of the first row with that code
};

Bytes With(Bytes head, std::size_t at, std::string_view more) {
  if (head.size() < at + more.size()) head.resize(at + more.size(), 0);
  std::memcpy(head.data() + at, more.data(), more.size());
  return head;
}

Bytes PeHeader(uint16_t characteristics) {
  Bytes b = With(Hex("MZ"), 60, std::string_view("\x80\x00\x00\x00", 4));
  b = With(b, 128, std::string_view("PE\0\0", 4));
  b.resize(512, 0);
  StoreLe16(b, 128 + 22, characteristics);
  return b;
}

using namespace std::string_view_literals;

// A little-endian TIFF header sector whose first directory holds a Make tag
// (its text out of line) and, for a DNG, the DNGVersion tag.
Bytes TiffWithTags(std::string_view make, bool dng) {
  Bytes b = With(Hex("II\x2A\x00\x08\x00\x00\x00"sv), 512, "");
  StoreLe16(b, 8, dng ? 2 : 1);
  StoreLe16(b, 10, 0x010F);
  StoreLe16(b, 12, 2);
  StoreLe32(b, 14, static_cast<uint32_t>(make.size() + 1));
  StoreLe32(b, 18, 100);
  std::memcpy(b.data() + 100, make.data(), make.size());
  if (dng) {
    StoreLe16(b, 22, 0xC612);
    StoreLe16(b, 24, 1);
    StoreLe32(b, 26, 4);
  }
  return b;
}

std::vector<HeaderCase> HeaderCases() {
  return {
      {"mpeg_pack", With(Hex("\x00\x00\x01\xBA"sv), 14, "\x00\x00\x01\xBB"sv), code::kMpeg, "mpeg"},
      {"mpeg_sequence", With(Hex("\x00\x00\x01\xB3"sv), 20, "\x00\x00\x01\xB8"sv), code::kMpeg,
       "mpeg"},
      {"mp4", With(With(Bytes(32, 0), 4, "ftyp"), 8, "isom"), code::kMp4, "mp4"},
      {"mp4_mp42", With(With(Bytes(32, 0), 4, "ftyp"), 8, "mp42"), code::kMp4, "mp4"},
      {"3gp", With(With(Bytes(32, 0), 4, "ftyp"), 8, "3gp5"), code::k3gp, "3gp"},
      {"mov_ftyp", With(With(Bytes(32, 0), 4, "ftyp"), 8, "qt  "), code::kMov, "mov"},
      {"mov_moov", With(Hex("moov"), 16, ""), code::kMov, "mov"},
      {"mp4_avc1", With(With(Bytes(32, 0), 4, "ftyp"), 8, "avc1"), code::kMp4, "mp4"},
      {"mp4_xavc", With(With(Bytes(32, 0), 4, "ftyp"), 8, "XAVC"), code::kMp4, "mp4"},
      {"mp4_iso6", With(With(Bytes(32, 0), 4, "ftyp"), 8, "iso6"), code::kMp4, "mp4"},
      {"m4a", With(With(Bytes(32, 0), 4, "ftyp"), 8, "M4A "), code::kM4a, "m4a"},
      {"m4v", With(With(Bytes(32, 0), 4, "ftyp"), 8, "M4V "), code::kM4v, "m4v"},
      {"3g2", With(With(Bytes(32, 0), 4, "ftyp"), 8, "3g2a"), code::k3g2, "3g2"},
      {"heic", With(With(Bytes(32, 0), 4, "ftyp"), 8, "heic"), code::kHeic, "heic"},
      {"heif_general", With(With(Bytes(32, 0), 4, "ftyp"), 8, "mif1"), code::kHeic, "heic"},
      {"avif", With(With(Bytes(32, 0), 4, "ftyp"), 8, "avif"), code::kAvif, "avif"},
      {"cr3", With(With(Bytes(32, 0), 4, "ftyp"), 8, "crx "), code::kCr3, "cr3"},
      {"webp", With(Hex("RIFF\x10\x00\x00\x00WEBPVP8L"sv), 16, ""), code::kWebp, "webp"},
      {"rm", With(Hex(".RMF"), 4, ""), code::kRmvb, "rmvb"},
      {"asf",
       With(Hex("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv), 24, ""),
       code::kWmv, "wmv"},
      {"swf_cws", With(Hex("CWS\x08"sv), 8, ""), code::kSwf, "swf"},
      {"swf_fws", With(Hex("FWS\x05"sv), 8, ""), code::kSwf, "swf"},
      {"avi",
       With(Hex("RIFF\x10\x00\x00\x00"
                "AVI LIST"sv),
            16, ""),
       code::kAvi, "avi"},
      {"wav", With(Hex("RIFF\x10\x00\x00\x00WAVEfmt "sv), 16, ""), code::kWav, "wav"},
      {"flv", With(Hex("FLV\x01\x05\x00\x00\x00\x09"sv), 16, ""), code::kFlv, "flv"},
      {"mkv", With(Hex("\x1A\x45\xDF\xA3"sv), 16, ""), code::kMkv, "mkv"},
      {"mts", With(Bytes(8, 0), 8, "\x00\x00\xB0\x11\x00\x00\xC1\x00"sv), code::kMts, "mts"},
      {"mxf", Hex("\x06\x0E\x2B\x34\x02\x05\x01\x01\x0D\x01\x02\x01\x01\x02\x04\x00"sv), code::kMxf,
       "mxf"},
      {"mp3", With(Hex("ID3\x03\x00\x00\x00\x00\x01\x7F"sv), 10, ""), code::kMp3, "mp3"},
      {"midi", With(Hex("MThd\x00\x00\x00\x06\x00\x01\x00\x02\x00\x60MTrk"sv), 18, ""), code::kMid,
       "mid"},
      {"ape", Hex("MAC "), code::kApe, "ape"},
      {"mp2", Hex("\xFF\xFD\xE4\x00"sv), code::kMp2, "mp2"},
      {"mmf", Hex("MMMD"), code::kMmf, "mmf"},
      {"fla", With(Hex("\xD0\xCF\x11\xE0\x00\x00\x00\x00"sv), 16, ""), code::kFla, "fla"},
      {"gif", With(Hex("GIF89a"), 8, ""), code::kGif, "gif"},
      {"bmp", With(With(Hex("BM"), 14, "\x28\x00\x00\x00"sv), 40, ""), code::kBmp, "bmp"},
      {"bmp_ba", With(With(Hex("BA"), 14, "\x28\x00\x00\x00"sv), 40, ""), code::kBmp, "bmp"},
      {"bmp_v4", With(With(Hex("BM"), 14, "\x6C\x00\x00\x00"sv), 40, ""), code::kBmp, "bmp"},
      {"bmp_v5", With(With(Hex("BM"), 14, "\x7C\x00\x00\x00"sv), 40, ""), code::kBmp, "bmp"},
      {"bmp_os2_core", With(With(Hex("BM"), 14, "\x0C\x00\x00\x00"sv), 40, ""), code::kBmp, "bmp"},
      {"jpeg_jfif", With(Hex("\xFF\xD8\xFF\xE0\x00\x10JFIF"sv), 16, ""), code::kJpg, "jpg"},
      {"jpeg_exif",
       With(Hex("\xFF\xD8\xFF\xE1\x00\x10"
                "Exif"sv),
            16, ""),
       code::kJpg, "jpg"},
      {"jpeg_quantisation_first", With(Hex("\xFF\xD8\xFF\xDB\x00\x43\x00"sv), 16, ""), code::kJpg,
       "jpg"},
      {"jpeg_icc", With(Hex("\xFF\xD8\xFF\xE2\x02\x00ICC_PROFILE"sv), 20, ""), code::kJpg, "jpg"},
      {"jpeg_mpf", With(Hex("\xFF\xD8\xFF\xE2\x00\x58MPF\0"sv), 16, ""), code::kJpg, "jpg"},
      {"jpeg_photoshop", With(Hex("\xFF\xD8\xFF\xED\x00\x40Photoshop 3.0"sv), 20, ""), code::kJpg,
       "jpg"},
      {"jpeg_adobe",
       With(Hex("\xFF\xD8\xFF\xEE\x00\x0E"
                "Adobe"sv),
            16, ""),
       code::kJpg, "jpg"},
      {"jpeg_xmp", With(Hex("\xFF\xD8\xFF\xE1\x01\x00http://ns.adobe.com/xap/1.0/"sv), 40, ""),
       code::kJpg, "jpg"},
      {"png", Hex("\x89PNG\r\n\x1A\n"sv), code::kPng, "png"},
      {"psd", With(Hex("8BPS"), 40, ""), code::kPsd, "psd"},
      {"tiff_le", With(Hex("II\x2A\x00"sv), 16, ""), code::kTif, "tif"},
      {"tiff_be", With(Hex("MM\x00\x2A"sv), 16, ""), code::kTif, "tif"},
      {"cr2",
       With(Hex("II\x2A\x00\x10\x00\x00\x00"
                "CR\x02\x00"sv),
            16, ""),
       code::kCr2, "cr2"},
      {"orf", With(Hex("IIRO\x08\x00\x00\x00"sv), 16, ""), code::kOrf, "orf"},
      {"orf_big", With(Hex("MMOR\x00\x00\x00\x08"sv), 16, ""), code::kOrf, "orf"},
      {"rw2", With(Hex("IIU\x00\x08\x00\x00\x00"sv), 16, ""), code::kRw2, "rw2"},
      {"nef", TiffWithTags("NIKON CORPORATION", false), code::kNef, "nef"},
      {"arw", TiffWithTags("SONY", false), code::kArw, "arw"},
      {"pef", TiffWithTags("PENTAX Corporation", false), code::kPef, "pef"},
      {"dng_whatever_the_maker", TiffWithTags("NIKON CORPORATION", true), code::kDng, "dng"},
      {"tiff_of_another_maker", TiffWithTags("Hasselblad", false), code::kTif, "tif"},
      {"raf", With(Hex("FUJIFILMCCD-RAW 0201"), 108, ""), code::kRaf, "raf"},
      {"ico",
       With(With(Hex("\x00\x00\x01\x00\x01\x00"sv), 6 + 8, "\x10\x00\x00\x00\x16\x00\x00\x00"sv),
            32, ""),
       code::kIco, "ico"},
      {"pdf", Hex("%PDF-1.7"), code::kPdf, "pdf"},
      {"gzip", With(Hex("\x1F\x8B\x08\x00\x00\x00\x00\x00\x02\x03"sv), 16, ""), code::kGz, "gz"},
      {"7z", Hex("\x37\x7A\xBC\xAF\x27\x1C"sv), code::k7z, "7z"},
      {"zip", With(Hex("PK\x03\x04"sv), 48, ""), code::kZip, "zip"},
      {"rar", Hex("Rar!\x1A\x07\x00"sv), code::kRar, "rar"},
      {"cab", With(Hex("MSCF"), 36, ""), code::kCab, "cab"},
      {"exe", PeHeader(0x0002), code::kExe, "exe"},
      {"dll", PeHeader(0x2002), code::kDll, "dll"},
      {"sys", PeHeader(0x1002), code::kSys, "sys"},
      {"gho", Hex("\xFE\xEF\x00\x00"sv), code::kGho, "gho"},
      {"sqlite", Hex("SQLite format 3\0"sv), code::kDb, "db"},
      {"dbx", With(Hex("\xCF\xAD\x12\xFE"sv), 16, ""), code::kDbx, "dbx"},
      {"pst", With(Hex("!BDN\x00\x00\x00\x00SM"sv), 16, ""), code::kPst, "pst"},
      {"ttf",
       With(With(Hex("\x00\x01\x00\x00\x00\x01\x00\x10\x00\x01\x00\x01"sv), 28,
                 "\x00\x01\x00\x00"sv),
            32, ""),
       code::kTtf, "ttf"},
      // Near misses.
      {"iso_unknown_brand", With(With(Bytes(32, 0), 4, "ftyp"), 8, "abcd"), code::kNoMatch, ""},
      {"webp_unknown_chunk", With(Hex("RIFF\x10\x00\x00\x00WEBPALPH"sv), 16, ""), code::kNoMatch,
       ""},
      {"gif_upper_version", With(Hex("GIF89A"), 8, ""), code::kNoMatch, ""},
      {"bmp_wrong_header_size", With(With(Hex("BM"), 14, "\x29\x00\x00\x00"sv), 40, ""),
       code::kNoMatch, ""},
      {"jpeg_quantisation_bad_table", With(Hex("\xFF\xD8\xFF\xDB\x00\x43\x24"sv), 16, ""),
       code::kNoMatch, ""},
      {"jpeg_quantisation_too_short", With(Hex("\xFF\xD8\xFF\xDB\x00\x20\x00"sv), 16, ""),
       code::kNoMatch, ""},
      {"jpeg_unnamed_application", With(Hex("\xFF\xD8\xFF\xE3\x00\x10JFIF"sv), 16, ""),
       code::kNoMatch, ""},
      {"mp3_bad_size_byte", With(Hex("ID3\x03\x00\x00\x00\x00\x80\x00"sv), 10, ""), code::kNoMatch,
       ""},
      {"pe_not_executable", PeHeader(0x0000), code::kNoMatch, ""},
      {"mts_with_nonzero_lead",
       With(Hex("\x01\x00\x00\x00"sv), 8, "\x00\x00\xB0\x11\x00\x00\xC1\x00"sv), code::kMts, "mts"},
      {"short_jpeg", Hex("\xFF\xD8\xFF\xE0\x00\x10JFIF"sv), code::kNoMatch, ""},
  };
}

class SignatureTableTest : public ::testing::Test {
 protected:
  // The medium that tests which read further sectors read from.
  void UseMedium(Bytes bytes) {
    ASSERT_EQ(OpenDiskFromSource(std::make_unique<platform::MemorySectorSource>(std::move(bytes)),
                                 &disk_),
              0);
    state_.medium().SetSource(&disk_);
    ASSERT_TRUE(state_.medium().SetSectorBytes(kSector));
  }
  // A probe of the sector `sector`, identified at that sector.
  HeaderProbe ProbeAt(uint64_t sector) {
    return HeaderProbe(state_.medium(), state_.streams(), sector, sector);
  }

  DiskHandle disk_;
  CarvingState state_;
};

TEST_F(SignatureTableTest, HeadersAreIdentifiedAsTheirFormat) {
  UseMedium(Bytes(64 * kSector, 0));
  for (const HeaderCase& c : HeaderCases()) {
    Bytes sector = c.header;
    if (sector.size() < kSector && c.header.size() >= 16) sector.resize(kSector, 0);
    const WalkResult walk = WalkTable(ProbeAt(8), sector.data(), sector.size());
    EXPECT_EQ(walk.type_code, c.expected_code) << c.label;
    if (c.expected_code != code::kNoMatch) {
      EXPECT_STREQ(FirstRowWithCode(walk.type_code)->extension, c.carved_extension) << c.label;
    }
  }
}

TEST_F(SignatureTableTest, CompoundDocumentsAreClassifiedBeforeFlashSources) {
  Bytes medium(16 * kSector, 0);
  const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(medium.data(), signature, 8);
  medium[kSector] = 0xEC;  // a Word stream right after the header
  medium[kSector + 1] = 0xA5;
  UseMedium(medium);
  EXPECT_EQ(WalkTable(ProbeAt(0), medium.data(), kSector).type_code, code::kDoc);
}

TEST_F(SignatureTableTest, ExtensionCheckUsesTheRowOfThatExtension) {
  UseMedium(Bytes(8 * kSector, 0));
  const Bytes jpeg = With(With(Hex("\xFF\xD8\xFF\xE0\x00\x10JFIF"sv), 16, ""), kSector, "");
  const Bytes zip = With(Hex("PK\x03\x04"sv), kSector, "");
  struct Case {
    const Bytes* sector;
    const char* extension;
    bool expected;
  } cases[] = {
      {&jpeg, "jpg", true}, {&jpeg, "JPE", true},  {&jpeg, "png", false},  {&jpeg, "dat", true},
      {&zip, "zip", true},  {&zip, "docx", false}, {&zip, "mso07", false}, {&jpeg, "", true},
  };
  for (const Case& c : cases) {
    state_.streams().NothingFound();
    EXPECT_EQ(CheckTypeByExtension(state_, c.sector->data(), c.sector->size(), c.extension, &disk_,
                                   kSector, 2),
              c.expected)
        << c.extension;
  }
  state_.streams().NothingFound();
  EXPECT_TRUE(CheckTypeByExtension(state_, jpeg.data(), jpeg.size(), "jpeg", &disk_, kSector, 2));
  EXPECT_FALSE(state_.streams().checks_continuation());
  // Sector sizes carving cannot read leave nothing to test.
  EXPECT_TRUE(CheckTypeByExtension(state_, zip.data(), zip.size(), "docx", &disk_, 0, 2));
  EXPECT_TRUE(CheckTypeByExtension(state_, zip.data(), zip.size(), "docx", &disk_, 8192, 2));
}

// The dispatched walk must answer exactly what the walk over every row in
// table order answers, on every sector: headers of every row, each with its
// dispatch bytes and its first bytes varied, random sectors, zero sectors,
// and sectors made of header fragments.
TEST_F(SignatureTableTest, DispatchedWalkEqualsPlainWalkOnLargeCorpus) {
  std::mt19937 random(20240917);
  std::vector<Bytes> seeds;
  for (const HeaderCase& c : HeaderCases()) seeds.push_back(c.header);
  seeds.push_back(With(Hex("PK\x03\x04"sv), 30, "word/document.xml"));
  seeds.push_back(With(Bytes(31, 0), 31, "[Content_Types].xml"));
  seeds.push_back(Bytes(188, 0x47));

  constexpr std::size_t kCorpusSectors = 60000;
  Bytes medium(kCorpusSectors * kSector);
  for (std::size_t s = 0; s < kCorpusSectors; ++s) {
    uint8_t* sector = medium.data() + s * kSector;
    switch (s % 6) {
      case 0:  // random bytes
        for (std::size_t i = 0; i < kSector; ++i) sector[i] = static_cast<uint8_t>(random());
        break;
      case 1:  // zeros
        break;
      default: {  // a header, then random or zero bytes, then a few mutations
        const Bytes& seed = seeds[random() % seeds.size()];
        const bool noisy = random() % 2 == 0;
        for (std::size_t i = 0; i < kSector; ++i)
          sector[i] = noisy ? static_cast<uint8_t>(random()) : 0;
        std::memcpy(sector, seed.data(), std::min<std::size_t>(seed.size(), kSector));
        const int mutations = static_cast<int>(random() % 3);
        for (int m = 0; m < mutations; ++m) sector[random() % 48] = static_cast<uint8_t>(random());
        if (s % 6 == 5) sector[0] = static_cast<uint8_t>(random());
        // Transport-stream grids, so that the reading test gets exercised.
        if (seed.size() == 188) {
          for (std::size_t k = 0; k < kSector; k += 188) sector[k] = 0x47;
        }
      }
    }
  }
  UseMedium(medium);
  const Bytes& media = static_cast<platform::MemorySectorSource*>(disk_.handle.get())->bytes();
  // Every stream history an identification can leave: after nothing (or a
  // stream), after an "mts" file, after any other file.
  StreamHistory histories[3];
  histories[0].NothingFound();
  histories[1].FileFound(code::kMts);
  histories[2].FileFound(code::kJpg);
  std::size_t hits = 0;
  for (std::size_t s = 0; s < kCorpusSectors; ++s) {
    const uint8_t* sector = media.data() + s * kSector;
    for (const int32_t ignored : {code::kNoMatch, code::kMpeg}) {
      for (const std::size_t variant : {s % 3, (s + 1) % 3}) {
        const HeaderProbe probe(state_.medium(), histories[variant], s, s);
        // Shorter buffers exercise every minimum length.
        const std::size_t length = s % 7 == 3 ? s % 64 : kSector;
        const WalkResult fast = WalkTable(probe, sector, length, ignored);
        const WalkResult plain = WalkTablePlain(probe, sector, length, ignored);
        ASSERT_EQ(fast.type_code, plain.type_code) << "sector " << s;
        ASSERT_EQ(fast.row, plain.row) << "sector " << s;
        hits += fast.type_code != code::kNoMatch;
      }
    }
  }
  EXPECT_GT(hits, kCorpusSectors);  // the corpus is not mostly misses
}

TEST_F(SignatureTableTest, TableEndsWithTheEndRowAndCarvesAliasesUnderTheirFirstRow) {
  const auto table = SignatureTable();
  EXPECT_EQ(table.back().type_code, code::kNoMatch);
  EXPECT_EQ(table.back().test, nullptr);
  struct Alias {
    const char* extension;
    const char* carved_as;
  } aliases[] = {{"vob", "mpeg"}, {"jfif", "jpg"},  {"rm", "rmvb"}, {"wma", "wmv"}, {"dps", "ppt"},
                 {"gzip", "gz"},  {"xltm", "xlsx"}, {"dib", "bmp"}, {"tiff", "tif"}};
  for (const Alias& a : aliases) {
    const SignatureEntry* row = nullptr;
    for (const SignatureEntry& r : table) {
      if (std::string(r.extension) == a.extension) row = &r;
    }
    ASSERT_NE(row, nullptr) << a.extension;
    EXPECT_STREQ(FirstRowWithCode(row->type_code)->extension, a.carved_as);
  }
}

}  // namespace
}  // namespace vexlo::carving
