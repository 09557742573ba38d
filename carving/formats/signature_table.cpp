#include "carving/formats/signature_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "carving/formats/archives.h"
#include "carving/formats/audio.h"
#include "carving/formats/camera_raw.h"
#include "carving/formats/compound_document.h"
#include "carving/formats/documents.h"
#include "carving/formats/executables.h"
#include "carving/formats/fonts.h"
#include "carving/formats/iso_media.h"
#include "carving/formats/length_search.h"
#include "carving/formats/office_archive.h"
#include "carving/formats/pictures.h"
#include "carving/formats/tiff_structure.h"
#include "carving/formats/transport_stream.h"
#include "carving/formats/type_codes.h"
#include "carving/formats/video.h"
#include "carving/formats/x3f_structure.h"
#include "platform/text.h"

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

constexpr DispatchKey Key(uint8_t offset, std::string_view bytes) {
  DispatchKey key{offset, static_cast<uint8_t>(bytes.size()), {}};
  // A key longer than four bytes fails to compile here.
  for (std::size_t i = 0; i < bytes.size(); ++i) key.bytes[i] = static_cast<uint8_t>(bytes[i]);
  return key;
}

// Keys that several rows share.
constexpr DispatchKey kMpegPack = Key(0, "\x00\x00\x01\xBA"sv);
constexpr DispatchKey kMpegSequence = Key(0, "\x00\x00\x01\xB3"sv);
constexpr DispatchKey kFtyp = Key(4, "ftyp");
constexpr DispatchKey kRiff = Key(0, "RIFF");
constexpr DispatchKey kJpeg = Key(0, "\xFF\xD8\xFF"sv);
constexpr DispatchKey kTiffBig = Key(0, "MM\x00\x2A"sv);
constexpr DispatchKey kTiffLittle = Key(0, "II\x2A\x00"sv);
constexpr DispatchKey kIcon = Key(0, "\x00\x00\x01\x00"sv);
constexpr DispatchKey kCompound = Key(0, "\xD0\xCF\x11\xE0"sv);
constexpr DispatchKey kZipLocal = Key(0, "PK\x03\x04"sv);
constexpr DispatchKey kContentTypes = Key(31, "[Con");
constexpr DispatchKey kGzip = Key(0, "\x1F\x8B\x08"sv);
constexpr DispatchKey kMz = Key(0, "MZ");
constexpr DispatchKey kTrueType = Key(0, "\x00\x01\x00\x00"sv);

using code::kNoMatch;

// The first-match order of this table decides what a sector is; rows that
// share a code are aliases of its first row.
constexpr SignatureEntry kTable[] = {
    {"mpeg", code::kMpeg, MpegTest, MpegLength, {kMpegPack, kMpegSequence}},
    {"mpg", code::kMpeg, MpegTest, MpegLength, {kMpegPack, kMpegSequence}},
    {"vob", code::kMpeg, MpegTest, MpegLength, {kMpegPack, kMpegSequence}},
    {"mp4", code::kMp4, Mp4Test, Mp4Length, {kFtyp}},
    {"rmvb", code::kRmvb, RealMediaTest, RealMediaLength, {Key(0, ".RMF")}},
    {"rm", code::kRmvb, RealMediaTest, RealMediaLength, {Key(0, ".RMF")}},
    {"wmv", code::kWmv, AsfTest, AsfLength, {Key(0, "\x30\x26\xB2\x75")}},
    {"asf", code::kWmv, AsfTest, AsfLength, {Key(0, "\x30\x26\xB2\x75")}},
    {"wma", code::kWmv, AsfTest, AsfLength, {Key(0, "\x30\x26\xB2\x75")}},
    {"swf", code::kSwf, SwfTest, SwfLength, {Key(0, "CWS"), Key(0, "FWS")}},
    {"avi", code::kAvi, AviTest, AviLength, {kRiff}},
    {"flv", code::kFlv, FlvTest, ForwardToCap<k6GiB>, {Key(0, "FLV\x01")}},
    {"3gp", code::k3gp, ThreeGpTest, IsoMediaLength, {kFtyp}},
    {"mkv", code::kMkv, MkvTest, MkvLength, {Key(0, "\x1A\x45\xDF\xA3")}},
    {"ts", code::kTs, TransportStreamTest, TransportStreamLength, {Key(0, "\x47")}},
    {"mts", code::kMts, MtsTest, TimestampedStreamLength, {Key(8, "\x00\x00\xB0\x11"sv)}},
    {"m2ts", code::kM2ts, M2tsTest, TimestampedStreamLength, {Key(4, "\x47\x40\x11\x10"sv)}},
    {"mxf", code::kMxf, MxfTest, ForwardToCap<k6GiB>, {Key(0, "\x06\x0E\x2B\x34")}},
    {"mp3", code::kMp3, Mp3Test, Mp3Length, {Key(0, "ID3")}},
    {"mid", code::kMid, MidiTest, MidiLength, {Key(0, "MThd")}},
    {"ape", code::kApe, ApeTest, ApeLength, {Key(0, "MAC ")}},
    {"wav", code::kWav, WavTest, RiffLength, {kRiff}},
    {"webp", code::kWebp, WebpTest, RiffLength, {kRiff}},
    {"mov", code::kMov, MovTest, IsoMediaLength, {Key(0, "moov"), kFtyp}},
    {"m4a", code::kM4a, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"m4v", code::kM4v, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"3g2", code::k3g2, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"heic", code::kHeic, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"heif", code::kHeic, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"avif", code::kAvif, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"cr3", code::kCr3, IsoBrandTest, IsoMediaLength, {kFtyp}},
    {"mp2", code::kMp2, Mp2Test, ForwardToCap<k256MiB>, {Key(0, "\xFF\xFD\xE4\x00"sv)}},
    {"mmf", code::kMmf, MmfTest, ForwardToCap<k256MiB>, {Key(0, "MMMD")}},
    {"gif", code::kGif, GifTest, GifLength, {Key(0, "GIF")}},
    {"bmp", code::kBmp, BmpTest, BmpLength, {Key(0, "BM"), Key(0, "BA")}},
    {"dib", code::kBmp, BmpTest, BmpLength, {Key(0, "BM"), Key(0, "BA")}},
    {"jpg", code::kJpg, JpegTest, JpegLength, {kJpeg}},
    {"jpeg", code::kJpg, JpegTest, JpegLength, {kJpeg}},
    {"jpe", code::kJpg, JpegTest, JpegLength, {kJpeg}},
    {"jfif", code::kJpg, JpegTest, JpegLength, {kJpeg}},
    {"png", code::kPng, PngTest, PngLength, {Key(0, "\x89PNG")}},
    {"psd", code::kPsd, PsdTest, ForwardToCap<k128MiB>, {Key(0, "8BPS")}},
    // Camera RAW files are TIFF files too: their rows come first.
    {"cr2", code::kCr2, TiffRawTest<code::kCr2>, TiffLength, {kTiffBig, kTiffLittle}},
    {"nef", code::kNef, TiffRawTest<code::kNef>, TiffLength, {kTiffBig, kTiffLittle}},
    {"nrw", code::kNef, TiffRawTest<code::kNef>, TiffLength, {kTiffBig, kTiffLittle}},
    {"arw", code::kArw, TiffRawTest<code::kArw>, TiffLength, {kTiffBig, kTiffLittle}},
    {"sr2", code::kArw, TiffRawTest<code::kArw>, TiffLength, {kTiffBig, kTiffLittle}},
    {"srf", code::kArw, TiffRawTest<code::kArw>, TiffLength, {kTiffBig, kTiffLittle}},
    {"dng", code::kDng, TiffRawTest<code::kDng>, TiffLength, {kTiffBig, kTiffLittle}},
    {"pef", code::kPef, TiffRawTest<code::kPef>, TiffLength, {kTiffBig, kTiffLittle}},
    {"orf", code::kOrf, TiffRawTest<code::kOrf>, TiffLength, {Key(0, "IIR"), Key(0, "MMOR")}},
    {"rw2", code::kRw2, TiffRawTest<code::kRw2>, TiffLength, {Key(0, "IIU\0"sv)}},
    {"raf", code::kRaf, RafTest, RafLength, {Key(0, "FUJI")}},
    {"x3f", code::kX3f, X3fTest, X3fLength, {Key(0, "FOVb")}},
    {"tif", code::kTif, TiffTest, TiffLength, {kTiffBig, kTiffLittle}},
    {"tiff", code::kTif, TiffTest, TiffLength, {kTiffBig, kTiffLittle}},
    {"ico", code::kIco, IconTest, IconLength, {kIcon}},
    {"doc", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"dot", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"wps", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"wpt", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"xls", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"xlt", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"xla", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"et", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"ett", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"ppt", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"pot", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"pps", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"dps", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"dpt", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    {"ole", code::kOle, CompoundDocumentTest, CompoundDocumentLength, {kCompound}},
    // Flash sources share the first four signature bytes with every compound
    // document; ahead of the classifier they would swallow every Word, Excel
    // and PowerPoint file, so they are tried after it.
    {"fla", code::kFla, FlaTest, ForwardToCap<k256MiB>, {kCompound}},
    {"docx", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"docm", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"dotm", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"dotx", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xlsx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xlsb", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xlsm", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xlsx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xlam", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xltx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"xltm", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"pptx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"pptm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"potx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"potm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"ppsx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"ppsm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    // No test answers this code; the row serves the lookup by extension.
    {"mso07", code::kMso07, OfficeArchiveTest, OfficeArchiveLength, {kZipLocal, kContentTypes}},
    {"pdf", code::kPdf, PdfTest, PdfLength, {Key(0, "%PDF")}},
    {"gz", code::kGz, GzipTest, ForwardToCap<k6GiB>, {kGzip}},
    {"gzip", code::kGz, GzipTest, ForwardToCap<k6GiB>, {kGzip}},
    {"7z", code::k7z, SevenZipTest, SevenZipLength, {Key(0, "7z\xBC\xAF")}},
    {"zip", code::kZip, ZipTest, ZipLength, {kZipLocal}},
    {"rar", code::kRar, RarTest, RarLength, {Key(0, "Rar!")}},
    {"cab", code::kCab, CabTest, CabLength, {Key(0, "MSCF")}},
    {"exe", code::kExe, PortableExecutableTest, nullptr, {kMz}},
    {"dll", code::kDll, PortableExecutableTest, nullptr, {kMz}},
    {"sys", code::kSys, PortableExecutableTest, nullptr, {kMz}},
    {"gho", code::kGho, GhostTest, nullptr, {Key(0, "\xFE\xEF\x00\x00"sv)}},
    {"db", code::kDb, SqliteTest, SqliteLength, {Key(0, "SQLi")}},
    {"dbx", code::kDbx, DbxTest, ForwardToCap<k2GiB>, {Key(0, "\xCF\xAD\x12\xFE")}},
    {"pst", code::kPst, PstTest, ForwardToCap<k2GiB>, {Key(0, "!BDN")}},
    // Never reached: the rows above with the same extension and code win.
    {"fla", code::kFla, FlaTest, ForwardToCap<k256MiB>, {kCompound}},
    {"ttf", code::kTtf, TrueTypeTest, TrueTypeLength, {kTrueType}},
    {"ico", code::kIco, IconTest, IconLength, {kIcon}},
    {"", kNoMatch, nullptr, nullptr, {}},
};

constexpr std::size_t kRows = std::size(kTable);
const SignatureEntry& EndRow() { return kTable[kRows - 1]; }

// The extensions measured once: a quick scan checks every file it finds by
// its extension, and measuring each row's text per file took a fifth of the
// scan.
constexpr auto kExtensions = [] {
  std::array<std::string_view, kRows> extensions{};
  for (std::size_t r = 0; r < kRows; ++r) extensions[r] = kTable[r].extension;
  return extensions;
}();

bool SameKey(const DispatchKey& a, const DispatchKey& b) {
  return a.offset == b.offset && a.size == b.size && std::equal(a.bytes, a.bytes + a.size, b.bytes);
}

// A key made ready for a quick test: its bytes as one masked word.
class PreparedKey {
 public:
  PreparedKey() = default;
  explicit PreparedKey(const DispatchKey& key) : key_(key) {
    uint8_t mask_bytes[4] = {0, 0, 0, 0};
    std::fill(mask_bytes, mask_bytes + key.size, 0xFF);
    std::memcpy(&mask_, mask_bytes, 4);
    std::memcpy(&value_, key.bytes, 4);
    value_ &= mask_;
  }

  // Whether `sector`, of `length` bytes, holds the key.
  bool In(const uint8_t* sector, std::size_t length) const {
    const std::size_t offset = key_.offset;
    if (length >= offset + 4) return InWord(sector);
    return length >= offset + key_.size && std::memcmp(sector + offset, key_.bytes, key_.size) == 0;
  }
  // The same for a sector that holds the key's word whole.
  bool InWord(const uint8_t* sector) const {
    uint32_t word;
    std::memcpy(&word, sector + key_.offset, 4);
    return (word & mask_) == value_;
  }

  const DispatchKey& key() const { return key_; }

 private:
  DispatchKey key_;
  uint32_t mask_ = 0;
  uint32_t value_ = 0;
};

// A row that may match a sector whose first byte selects the bucket: when it
// has no keys, or when the sector holds one of them.
struct Candidate {
  const SignatureEntry* row = nullptr;
  std::size_t key_count = 0;
  PreparedKey keys[std::size(SignatureEntry{}.keys)];

  bool Accepts(const uint8_t* sector, std::size_t length) const {
    if (key_count == 0) return true;
    for (std::size_t k = 0; k < key_count; ++k) {
      if (keys[k].In(sector, length)) return true;
    }
    return false;
  }
};

bool HasKeys(const SignatureEntry& row) {
  return std::any_of(std::begin(row.keys), std::end(row.keys),
                     [](const DispatchKey& key) { return key.size != 0; });
}

// Rows with the same test and the same keys answer the same.
bool SameTestAndKeys(const SignatureEntry& a, const SignatureEntry& b) {
  return a.test == b.test && std::equal(std::begin(a.keys), std::end(a.keys), std::begin(b.keys),
                                        std::end(b.keys), SameKey);
}

class DispatchIndex {
 public:
  DispatchIndex() {
    for (int first = 0; first < 256; ++first) {
      begin_[first] = candidates_.size();
      const std::size_t bucket_start = candidates_.size();
      for (std::size_t r = 0; r + 1 < kRows; ++r) {
        std::optional<Candidate> candidate = CandidateFor(kTable[r], static_cast<uint8_t>(first));
        if (!candidate) continue;
        // An alias row repeats a test already tried under the same keys:
        // it would answer the same again.
        const bool repeat = std::any_of(
            candidates_.begin() + static_cast<std::ptrdiff_t>(bucket_start), candidates_.end(),
            [&](const Candidate& c) { return SameTestAndKeys(*c.row, kTable[r]); });
        if (repeat) continue;
        candidates_.push_back(*candidate);
        if (!HasKeys(kTable[r])) direct_[first] = true;
      }
      AddScreenKeys(first);
    }
    begin_[256] = candidates_.size();
    screen_begin_[256] = screen_.size();
  }

  // False when no row's test can answer for the sector: it holds none of the
  // keys of its bucket. Most sectors start nothing, so this runs on nearly
  // every sector: the keys are checked all at once, without a branch per key.
  bool MayMatch(const uint8_t* sector, std::size_t length) const {
    const uint8_t first = sector[0];
    if (direct_[first] || length < word_checked_length_) return true;
    bool any = false;
    for (std::size_t i = screen_begin_[first]; i < screen_begin_[first + 1]; ++i) {
      any |= screen_[i].InWord(sector);
    }
    return any;
  }

  // The ordered walk over the candidates of the sector's bucket. Kept out
  // of line: the few sectors that reach it need not make MayMatch's caller
  // heavier.
  [[gnu::noinline]] WalkResult Walk(const HeaderProbe& probe, const uint8_t* sector,
                                    std::size_t length, int32_t ignored) const {
    const uint8_t first = sector[0];
    bool ignored_seen = false;
    for (std::size_t i = begin_[first]; i < begin_[first + 1]; ++i) {
      const Candidate& c = candidates_[i];
      if (!c.Accepts(sector, length)) continue;
      const int32_t type_code = c.row->test(probe, sector, length);
      if (type_code == kNoMatch) continue;
      if (type_code != ignored) return {type_code, c.row, ignored_seen};
      ignored_seen = true;
    }
    return {kNoMatch, &EndRow(), ignored_seen};
  }

 private:
  // Whether a sector starting with `first` can hold the key.
  static bool FitsBucket(const DispatchKey& key, uint8_t first) {
    return key.size != 0 && (key.offset != 0 || key.bytes[0] == first);
  }

  // The row as a candidate of the bucket of `first`, with the keys that a
  // sector starting with `first` can hold; none when it holds none.
  static std::optional<Candidate> CandidateFor(const SignatureEntry& row, uint8_t first) {
    Candidate candidate;
    candidate.row = &row;
    if (!HasKeys(row)) return candidate;
    for (const DispatchKey& key : row.keys) {
      if (FitsBucket(key, first)) candidate.keys[candidate.key_count++] = PreparedKey(key);
    }
    if (candidate.key_count == 0) return std::nullopt;
    return candidate;
  }

  // Appends `key` to keys[from...] unless it is there already.
  static void AddDistinct(const DispatchKey& key, std::vector<PreparedKey>* keys,
                          std::size_t from) {
    const bool seen =
        std::any_of(keys->begin() + static_cast<std::ptrdiff_t>(from), keys->end(),
                    [&](const PreparedKey& other) { return SameKey(other.key(), key); });
    if (!seen) keys->emplace_back(key);
  }

  // The distinct keys that a sector of the bucket may hold: those at
  // offset 0 that start with the bucket's byte, and those further in.
  void AddScreenKeys(int first) {
    screen_begin_[first] = screen_.size();
    for (std::size_t r = 0; r + 1 < kRows; ++r) {
      for (const DispatchKey& key : kTable[r].keys) {
        if (FitsBucket(key, static_cast<uint8_t>(first))) {
          AddDistinct(key, &screen_, screen_begin_[first]);
          word_checked_length_ = std::max<std::size_t>(word_checked_length_, key.offset + 4u);
        }
      }
    }
  }

  std::vector<Candidate> candidates_;
  std::array<std::size_t, 257> begin_{};
  // Buckets with a row that has no keys: tried on every sector.
  std::array<bool, 256> direct_{};
  // The keys per bucket, for MayMatch.
  std::vector<PreparedKey> screen_;
  std::array<std::size_t, 257> screen_begin_{};
  // Buffers at least this long hold every key's word whole.
  std::size_t word_checked_length_ = 4;
};

// Built when the program starts, from the constant table alone: the walks
// over every sector need no first-use check.
const DispatchIndex kIndex;

}  // namespace

std::span<const SignatureEntry> SignatureTable() { return kTable; }

WalkResult WalkTable(const HeaderProbe& probe, const uint8_t* sector, std::size_t length,
                     int32_t ignored_code) {
  if (length == 0) return WalkTablePlain(probe, sector, length, ignored_code);
  if (!kIndex.MayMatch(sector, length)) return {kNoMatch, &EndRow(), false};
  return kIndex.Walk(probe, sector, length, ignored_code);
}

// Out of line: the dispatched walk falls back on it only for empty buffers.
[[gnu::noinline]] WalkResult WalkTablePlain(const HeaderProbe& probe, const uint8_t* sector,
                                            std::size_t length, int32_t ignored_code) {
  bool ignored_seen = false;
  for (std::size_t r = 0; r + 1 < kRows; ++r) {
    const int32_t type_code = kTable[r].test(probe, sector, length);
    if (type_code == kNoMatch) continue;
    if (type_code != ignored_code) return {type_code, &kTable[r], ignored_seen};
    ignored_seen = true;
  }
  return {kNoMatch, &EndRow(), ignored_seen};
}

const SignatureEntry* FirstRowWithCode(int32_t type_code) {
  for (std::size_t r = 0; r + 1 < kRows; ++r) {
    if (kTable[r].type_code == type_code) return &kTable[r];
  }
  return nullptr;
}

bool CheckTypeByExtension(CarvingState& state, const uint8_t* sector, std::size_t length,
                          std::string_view extension, DiskHandle* source, uint32_t sector_bytes,
                          uint64_t sector_number) {
  const SignatureEntry* row = nullptr;
  for (std::size_t r = 0; r + 1 < kRows && row == nullptr; ++r) {
    if (platform::EqualsIgnoringAsciiCase(kExtensions[r], extension)) row = &kTable[r];
  }
  if (row == nullptr) return true;
  CarvingMedium& medium = state.medium();
  if (!medium.SetSectorBytes(sector_bytes)) return true;
  medium.SetSource(source);
  state.streams().StopCheckingContinuation();
  if (row->test == nullptr) return false;
  const HeaderProbe probe(medium, state.streams(), sector_number, sector_number);
  return row->test(probe, sector, length) == row->type_code;
}

}  // namespace vexlo::carving
