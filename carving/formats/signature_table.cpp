#include "carving/formats/signature_table.h"

#include <array>
#include <optional>
#include <vector>

#include "carving/formats/archives.h"
#include "carving/formats/audio.h"
#include "carving/formats/compound_document.h"
#include "carving/formats/documents.h"
#include "carving/formats/executables.h"
#include "carving/formats/fonts.h"
#include "carving/formats/office_archive.h"
#include "carving/formats/pictures.h"
#include "carving/formats/transport_stream.h"
#include "carving/formats/type_codes.h"
#include "carving/formats/video.h"

namespace vexlo::carving {
namespace {

constexpr DispatchKey Key(uint8_t offset, uint8_t value) { return {offset, 1, {value, 0}}; }
constexpr DispatchKey Key(uint8_t offset, uint8_t a, uint8_t b) { return {offset, 2, {a, b}}; }

using code::kNoMatch;

// The first-match order of this table decides what a sector is; rows that
// share a code are aliases of its first row.
constexpr SignatureEntry kTable[] = {
    {"mpeg", code::kMpeg, MpegTest, MpegLength, {Key(0, 0x00)}},
    {"mpg", code::kMpeg, MpegTest, MpegLength, {Key(0, 0x00)}},
    {"vob", code::kMpeg, MpegTest, MpegLength, {Key(0, 0x00)}},
    {"mp4", code::kMp4, Mp4Test, Mp4Length, {Key(4, 'f')}},
    {"rmvb", code::kRmvb, RealMediaTest, RealMediaLength, {Key(0, '.')}},
    {"rm", code::kRmvb, RealMediaTest, RealMediaLength, {Key(0, '.')}},
    {"wmv", code::kWmv, AsfTest, AsfLength, {Key(0, 0x30)}},
    {"asf", code::kWmv, AsfTest, AsfLength, {Key(0, 0x30)}},
    {"wma", code::kWmv, AsfTest, AsfLength, {Key(0, 0x30)}},
    {"swf", code::kSwf, SwfTest, SwfLength, {Key(0, 'C', 'F')}},
    {"avi", code::kAvi, AviTest, RiffLength, {Key(0, 'R')}},
    {"flv", code::kFlv, FlvTest, ForwardToCap<k6GiB>, {Key(0, 'F')}},
    {"3gp", code::k3gp, ThreeGpTest, ForwardToCap<k6GiB>, {Key(4, 'f')}},
    {"mkv", code::kMkv, MkvTest, ForwardToCap<k64GiB>, {Key(0, 0x1A)}},
    {"ts", code::kTs, TransportStreamTest, TransportStreamLength, {Key(0, 0x47)}},
    {"mts", code::kMts, MtsTest, ForwardToCap<k6GiB>, {Key(10, 0xB0)}},
    {"mxf", code::kMxf, MxfTest, ForwardToCap<k6GiB>, {Key(0, 0x06)}},
    {"mp3", code::kMp3, Mp3Test, Mp3Length, {Key(0, 'I')}},
    {"mid", code::kMid, MidiTest, MidiLength, {Key(0, 'M')}},
    {"ape", code::kApe, ApeTest, ApeLength, {Key(0, 'M')}},
    {"wav", code::kWav, WavTest, RiffLength, {Key(0, 'R')}},
    {"mov", code::kMov, MovTest, ForwardToCap<k6GiB>, {Key(0, 'm'), Key(4, 'f')}},
    {"mp2", code::kMp2, Mp2Test, ForwardToCap<k256MiB>, {Key(0, 0xFF)}},
    {"mmf", code::kMmf, MmfTest, ForwardToCap<k256MiB>, {Key(0, 'M')}},
    {"gif", code::kGif, GifTest, GifLength, {Key(0, 'G')}},
    {"bmp", code::kBmp, BmpTest, BmpLength, {Key(0, 'B')}},
    {"dib", code::kBmp, BmpTest, BmpLength, {Key(0, 'B')}},
    {"jpg", code::kJpg, JpegTest, JpegLength, {Key(0, 0xFF)}},
    {"jpeg", code::kJpg, JpegTest, JpegLength, {Key(0, 0xFF)}},
    {"jpe", code::kJpg, JpegTest, JpegLength, {Key(0, 0xFF)}},
    {"jfif", code::kJpg, JpegTest, JpegLength, {Key(0, 0xFF)}},
    {"png", code::kPng, PngTest, PngLength, {Key(0, 0x89)}},
    {"psd", code::kPsd, PsdTest, ForwardToCap<k128MiB>, {Key(0, '8')}},
    {"tif", code::kTif, TiffTest, ForwardToCap<k128MiB>, {Key(0, 'M', 'I')}},
    {"tiff", code::kTif, TiffTest, ForwardToCap<k128MiB>, {Key(0, 'M', 'I')}},
    {"ico", code::kIco, IconTest, IconLength, {Key(0, 0x00)}},
    {"doc", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"dot", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"wps", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"wpt", code::kDoc, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"xls", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"xlt", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"xla", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"et", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"ett", code::kXls, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"ppt", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"pot", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"pps", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"dps", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"dpt", code::kPpt, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    {"ole", code::kOle, CompoundDocumentTest, CompoundDocumentLength, {Key(0, 0xD0)}},
    // Flash sources share the first four signature bytes with every compound
    // document; ahead of the classifier they would swallow every Word, Excel
    // and PowerPoint file, so they are tried after it.
    {"fla", code::kFla, FlaTest, ForwardToCap<k256MiB>, {Key(0, 0xD0)}},
    {"docx", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"docm", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"dotm", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"dotx", code::kDocx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xlsx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xlsb", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xlsm", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xlsx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xlam", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xltx", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"xltm", code::kXlsx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"pptx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"pptm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"potx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"potm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"ppsx", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"ppsm", code::kPptx, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    // No test answers this code; the row serves the lookup by extension.
    {"mso07", code::kMso07, OfficeArchiveTest, OfficeArchiveLength, {Key(0, 'P'), Key(31, '[')}},
    {"pdf", code::kPdf, PdfTest, PdfLength, {Key(0, '%')}},
    {"gz", code::kGz, GzipTest, ForwardToCap<k6GiB>, {Key(0, 0x1F)}},
    {"gzip", code::kGz, GzipTest, ForwardToCap<k6GiB>, {Key(0, 0x1F)}},
    {"7z", code::k7z, SevenZipTest, SevenZipLength, {Key(0, '7')}},
    {"zip", code::kZip, ZipTest, ZipLength, {Key(0, 'P')}},
    {"rar", code::kRar, RarTest, RarLength, {Key(0, 'R')}},
    {"cab", code::kCab, CabTest, CabLength, {Key(0, 'M')}},
    {"exe", code::kExe, PortableExecutableTest, nullptr, {Key(0, 'M')}},
    {"dll", code::kDll, PortableExecutableTest, nullptr, {Key(0, 'M')}},
    {"sys", code::kSys, PortableExecutableTest, nullptr, {Key(0, 'M')}},
    {"gho", code::kGho, GhostTest, nullptr, {Key(0, 0xFE)}},
    {"db", code::kDb, SqliteTest, ForwardToCap<k4GiB>, {Key(0, 'S')}},
    {"dbx", code::kDbx, DbxTest, ForwardToCap<k2GiB>, {Key(0, 0xCF)}},
    {"pst", code::kPst, PstTest, ForwardToCap<k2GiB>, {Key(0, '!')}},
    // Never reached: the rows above with the same extension and code win.
    {"fla", code::kFla, FlaTest, ForwardToCap<k256MiB>, {Key(0, 0xD0)}},
    {"ttf", code::kTtf, TrueTypeTest, TrueTypeLength, {Key(0, 0x00)}},
    {"ico", code::kIco, IconTest, IconLength, {Key(0, 0x00)}},
    {"", kNoMatch, nullptr, nullptr, {}},
};

constexpr std::size_t kRows = std::size(kTable);
const SignatureEntry& EndRow() { return kTable[kRows - 1]; }

bool KeyAccepts(const DispatchKey& key, uint8_t value) {
  for (uint8_t i = 0; i < key.value_count; ++i) {
    if (key.values[i] == value) return true;
  }
  return false;
}

// A row that may match a sector whose first byte selects the bucket; with
// `check`, only when byte check.offset is one of check's values.
struct Candidate {
  const SignatureEntry* row;
  bool conditional;
  DispatchKey check;
};

bool SameCheck(const Candidate& a, const Candidate& b) {
  if (a.conditional != b.conditional) return false;
  if (!a.conditional) return true;
  return a.check.offset == b.check.offset && a.check.value_count == b.check.value_count &&
         a.check.values[0] == b.check.values[0] && a.check.values[1] == b.check.values[1];
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
        // A test already tried under the same condition answers the same
        // again: its repeats (alias rows) are dropped from the bucket.
        bool repeat = false;
        for (std::size_t i = bucket_start; i < candidates_.size(); ++i) {
          repeat = repeat || (candidates_[i].row->test == candidate->row->test &&
                              SameCheck(candidates_[i], *candidate));
        }
        if (!repeat) candidates_.push_back(*candidate);
      }
    }
    begin_[256] = candidates_.size();
  }

  WalkResult Walk(CarvingState& state, const uint8_t* sector, std::size_t length,
                  int32_t ignored) const {
    const uint8_t first = sector[0];
    bool ignored_seen = false;
    for (std::size_t i = begin_[first]; i < begin_[first + 1]; ++i) {
      const Candidate& c = candidates_[i];
      if (c.conditional &&
          (c.check.offset >= length || !KeyAccepts(c.check, sector[c.check.offset]))) {
        continue;
      }
      const int32_t type_code = c.row->test(state, sector, length);
      if (type_code == kNoMatch) continue;
      if (type_code != ignored) return {type_code, c.row, ignored_seen};
      ignored_seen = true;
    }
    return {kNoMatch, &EndRow(), ignored_seen};
  }

 private:
  static std::optional<Candidate> CandidateFor(const SignatureEntry& row, uint8_t first) {
    const DispatchKey* other = nullptr;
    bool any_key = false;
    for (const DispatchKey& key : row.keys) {
      if (key.value_count == 0) continue;
      any_key = true;
      if (key.offset == 0) {
        if (KeyAccepts(key, first)) return Candidate{&row, false, {}};
      } else {
        other = &key;
      }
    }
    if (!any_key) return Candidate{&row, false, {}};
    if (other != nullptr) return Candidate{&row, true, *other};
    return std::nullopt;
  }

  std::vector<Candidate> candidates_;
  std::array<std::size_t, 257> begin_{};
};

const DispatchIndex& Index() {
  static const DispatchIndex index;
  return index;
}

}  // namespace

std::span<const SignatureEntry> SignatureTable() { return kTable; }

WalkResult WalkTable(CarvingState& state, const uint8_t* sector, std::size_t length,
                     int32_t ignored_code) {
  if (length == 0) return WalkTablePlain(state, sector, length, ignored_code);
  return Index().Walk(state, sector, length, ignored_code);
}

WalkResult WalkTablePlain(CarvingState& state, const uint8_t* sector, std::size_t length,
                          int32_t ignored_code) {
  bool ignored_seen = false;
  for (std::size_t r = 0; r + 1 < kRows; ++r) {
    const int32_t type_code = kTable[r].test(state, sector, length);
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

bool NextStartScan(CarvingState& state, std::size_t byte_count, const uint8_t* buffer,
                   uint64_t* length, StartRule rule) {
  const std::size_t sector_bytes = state.sector_bytes;
  const int32_t ignored = rule == StartRule::kIgnoreMpeg ? code::kMpeg : kNoMatch;
  const std::size_t sectors = byte_count / sector_bytes;
  SearchTrail& trail = state.trail;
  for (std::size_t i = 0; i < sectors; ++i) {
    ++state.current_sector;
    const uint8_t* sector = buffer + i * sector_bytes;
    const WalkResult walk = WalkTable(state, sector, sector_bytes, ignored);
    const bool starts = walk.type_code != kNoMatch || (state.metadata_test != nullptr &&
                                                       state.metadata_test(sector, sector_bytes));
    if (starts) {
      *length += i * sector_bytes;
      return true;
    }
    // A start the rule ignored, or a sector the walk routes elsewhere, is
    // not vouched for: the walk has to look at it itself.
    if (trail.extending && trail.clear_end == state.current_sector) {
      trail.extending = !walk.ignored_seen && (state.handled_elsewhere == nullptr ||
                                               !state.handled_elsewhere(sector, sector_bytes));
      if (trail.extending) trail.clear_end = state.current_sector + 1;
    }
  }
  return false;
}

bool CheckTypeByExtension(CarvingState& state, const uint8_t* sector, std::size_t length,
                          std::string_view extension, DiskHandle* source, uint32_t sector_bytes,
                          uint64_t sector_number) {
  const auto equal_no_case = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
      };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  };
  const SignatureEntry* row = nullptr;
  for (std::size_t r = 0; r + 1 < kRows && row == nullptr; ++r) {
    if (equal_no_case(kTable[r].extension, extension)) row = &kTable[r];
  }
  if (row == nullptr) return true;
  state.sector_bytes = sector_bytes;
  state.stream_continuation = false;
  state.file_start = sector_number;
  state.current_sector = sector_number;
  state.source = source;
  if (row->test == nullptr) return false;
  return row->test(state, sector, length) == row->type_code;
}

}  // namespace vexlo::carving
