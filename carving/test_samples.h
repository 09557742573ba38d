// Sample files and synthetic media for the carving tests, the benchmark and
// the fuzzer. Files come from Debian tools (ImageMagick, zip) run at test
// time or are built here byte by byte; media are memory images with files
// placed at sector offsets. Header-only so that it is no part of the engine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "carving/formats/signature_table.h"
#include "ondisk/endian.h"
#include "platform/sector_source.h"
#include "storage/sector_io.h"

namespace vexlo::carving::samples {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteImage(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A type filter for every extension the carving table knows, and all others.
inline std::string EverythingPattern() {
  std::set<std::string> extensions;
  for (const auto& row : SignatureTable()) {
    if (row.extension[0] != '\0') extensions.insert(row.extension);
  }
  std::string pattern = "*.other";
  for (const std::string& e : extensions) pattern += "|*." + e;
  return pattern;
}

// Runs `command` in `folder` through the shell and returns the bytes of
// `output` there; empty when the tool failed or is missing.
inline Bytes MakeWithTool(const std::filesystem::path& folder, const std::string& command,
                          const std::string& output) {
  const std::string line = "cd '" + folder.string() + "' && ( " + command + " ) >/dev/null 2>&1";
  if (std::system(line.c_str()) != 0) return {};
  return ReadFileBytes(folder / output);
}

// One plasma picture ImageMagick draws from `seed` (the same picture for
// the same seed) as a camera's baseline and progressive JPEG and as a PNG;
// empty files without ImageMagick.
struct PlasmaPicture {
  int seed = 0;
  std::string size;  // "320x240"
  int quality = 85;  // of the JPEGs
};
struct PlasmaPhotos {
  Bytes baseline;
  Bytes progressive;
  Bytes png;
};
inline PlasmaPhotos MakePlasmaPhotos(const std::filesystem::path& folder,
                                     const PlasmaPicture& picture) {
  const std::string draw = "convert -seed " + std::to_string(picture.seed) + " -size " +
                           picture.size + " plasma:fractal ";
  const std::string jpeg = draw + "-quality " + std::to_string(picture.quality) + " ";
  return {MakeWithTool(folder, jpeg + "b.jpg", "b.jpg"),
          MakeWithTool(folder, jpeg + "-interlace JPEG p.jpg", "p.jpg"),
          MakeWithTool(folder, draw + "n.png", "n.png")};
}

// What a card does to a photo: a byte changed, its second half overwritten
// (by zeros, or by another photo's bytes from that photo's middle on, so
// that it still ends as a whole photo does), or the file cut short.
enum class Harm {
  kNone,
  kByteFlippedInTheMiddle,
  kSecondHalfZeros,
  kSecondHalfOtherFile,
  kCutInHalf,
  kCutAt60Percent
};

inline Bytes Harmed(Bytes file, Harm harm, const Bytes& other = {}) {
  const std::size_t half = file.size() / 2;
  switch (harm) {
    case Harm::kNone:
      break;
    case Harm::kByteFlippedInTheMiddle:
      file[half] ^= 0x5A;
      break;
    case Harm::kSecondHalfZeros:
      std::fill(file.begin() + static_cast<std::ptrdiff_t>(half), file.end(), 0);
      break;
    case Harm::kSecondHalfOtherFile:
      file.resize(half);
      file.insert(file.end(), other.begin() + static_cast<std::ptrdiff_t>(other.size() / 2),
                  other.end());
      break;
    case Harm::kCutInHalf:
      file.resize(half);
      break;
    case Harm::kCutAt60Percent:
      file.resize(file.size() * 6 / 10);
      break;
  }
  return file;
}

// Photos as a card holds them once some were partly overwritten or cut,
// with whether each still decodes whole (JPEG) or passes its checksums
// (PNG); empty without ImageMagick.
struct JudgedPhoto {
  std::string name;
  Bytes bytes;
  bool whole;
};
inline std::vector<JudgedPhoto> WholeAndDamagedPhotos(const std::filesystem::path& folder) {
  const PlasmaPhotos p = MakePlasmaPhotos(folder, {.seed = 5, .size = "240x180", .quality = 90});
  if (p.baseline.empty() || p.progressive.empty() || p.png.empty()) return {};
  return {
      {"Whole baseline.jpg", p.baseline, true},
      {"Whole progressive.jpg", p.progressive, true},
      {"Second half zeros.jpg", Harmed(p.baseline, Harm::kSecondHalfZeros), false},
      {"Second half another photo.jpg",
       Harmed(p.baseline, Harm::kSecondHalfOtherFile, p.progressive), false},
      {"Cut in half.jpg", Harmed(p.baseline, Harm::kCutInHalf), false},
      {"Whole drawing.png", p.png, true},
      {"Drawing with a changed byte.png", Harmed(p.png, Harm::kByteFlippedInTheMiddle), false},
      {"Drawing cut in half.png", Harmed(p.png, Harm::kCutInHalf), false},
  };
}

// A maker, for tables of test files, of what MakeWithTool gives for
// `command` and `output` in the folder the maker is handed.
inline std::function<Bytes(const std::filesystem::path&)> ByTool(std::string command,
                                                                 std::string output) {
  return [command = std::move(command), output = std::move(output)](
             const std::filesystem::path& folder) { return MakeWithTool(folder, command, output); };
}

inline void Append(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }

// Bytes that never form a known header or end marker: a repeating text.
inline Bytes Filler(std::size_t count, uint8_t seed = 0) {
  Bytes b(count);
  for (std::size_t i = 0; i < count; ++i) b[i] = static_cast<uint8_t>('a' + (i * 7 + seed) % 26);
  return b;
}

// An MP3: an ID3v2 header, frame-like data and, optionally, an ID3v1 tag.
inline Bytes MakeMp3(std::size_t data_bytes, bool with_tag) {
  Bytes b;
  Append(b, std::string_view("ID3\x03\x00\x00\x00\x00\x00\x0A", 10));
  Bytes pad(10, 0);
  b.insert(b.end(), pad.begin(), pad.end());
  Bytes data = Filler(data_bytes, 3);
  b.insert(b.end(), data.begin(), data.end());
  if (with_tag) {
    Append(b, "TAG");
    Bytes tag = Filler(125, 5);
    b.insert(b.end(), tag.begin(), tag.end());
  }
  return b;
}

// A PDF whose body pads it to about `body_bytes`, ending "%%EOF" + `eol`.
inline Bytes MakePdf(std::size_t body_bytes, std::string_view eol) {
  Bytes b;
  Append(b, "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n2 0 obj << /Length 0 >> stream\n");
  Bytes body = Filler(body_bytes, 9);
  b.insert(b.end(), body.begin(), body.end());
  Append(b, "\nendstream endobj\ntrailer << /Root 1 0 R >>\nstartxref\n9\n%%EOF");
  Append(b, eol);
  return b;
}

// Appends `object` as the next indirect object of `pdf` and notes its
// offset for the cross-reference table.
inline void AddPdfObject(Bytes& pdf, std::vector<std::size_t>& offsets, std::string_view object) {
  offsets.push_back(pdf.size());
  Append(pdf, std::to_string(offsets.size()) + " 0 obj\n");
  Append(pdf, object);
  Append(pdf, "\nendobj\n");
}

// A cross-reference section for objects `first`.. of `offsets`, the trailer
// and the end marker.
inline void AddPdfTrailer(Bytes& pdf, const std::vector<std::size_t>& offsets, std::size_t first,
                          std::string_view prev) {
  const std::size_t xref = pdf.size();
  Append(pdf, first == 1 ? "xref\n0 " : "xref\n" + std::to_string(first) + " ");
  Append(pdf, std::to_string(offsets.size() - first + 1 + (first == 1 ? 1 : 0)) + "\n");
  if (first == 1) Append(pdf, "0000000000 65535 f\r\n");
  for (std::size_t i = first - 1; i < offsets.size(); ++i) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", offsets[i]);
    Append(pdf, line);
  }
  Append(pdf, "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R" +
                  std::string(prev) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
}

// A one-page PDF laid out as writers do, offsets and all.
inline Bytes MakeOnePagePdf() {
  Bytes pdf;
  Append(pdf, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  std::vector<std::size_t> offsets;
  AddPdfObject(pdf, offsets, "<< /Type /Catalog /Pages 2 0 R >>");
  AddPdfObject(pdf, offsets, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  AddPdfObject(pdf, offsets,
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>");
  // Enough drawing that the first %%EOF lies behind the header sector.
  std::string drawing;
  for (int i = 0; i < 100; ++i) drawing += "1 0 0 rg 10 10 80 40 re f\n";
  AddPdfObject(
      pdf, offsets,
      "<< /Length " + std::to_string(drawing.size()) + " >>\nstream\n" + drawing + "endstream");
  AddPdfTrailer(pdf, offsets, 1, "");
  return pdf;
}

// `pdf` with an incremental update appended, as editors save it: a new
// object with a stream of `stream_bytes`, its cross-reference section and a
// second %%EOF.
inline Bytes WithPdfUpdate(Bytes pdf, std::size_t stream_bytes) {
  const std::string previous_xref = [&] {
    const std::string text(pdf.begin(), pdf.end());
    const std::size_t at = text.rfind("startxref\n") + 10;
    return text.substr(at, text.find('\n', at) - at);
  }();
  std::vector<std::size_t> offsets(4, 0);
  AddPdfObject(
      pdf, offsets, "<< /Length " + std::to_string(stream_bytes) + " >>\nstream\n" + [&] {
        const Bytes text = Filler(stream_bytes, 4);
        return std::string(text.begin(), text.end());
      }() + "\nendstream");
  AddPdfTrailer(pdf, offsets, 5, " /Prev " + previous_xref);
  return pdf;
}

// A compound document of 512-byte sectors: header, one allocation-table
// sector, one directory sector whose second entry is `stream_name`, then
// `data_sectors` sectors of data.
inline Bytes MakeCompoundDocument(uint32_t data_sectors, std::u16string_view stream_name) {
  const uint32_t sectors = 2 + data_sectors;  // after the header
  Bytes b(512 * (1 + sectors), 0);
  const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(b.data(), signature, 8);
  StoreLe16(b, 24, 0x3E);
  StoreLe16(b, 26, 3);
  StoreLe16(b, 28, 0xFFFE);
  StoreLe16(b, 30, 9);
  StoreLe16(b, 32, 6);
  StoreLe32(b, 44, 1);  // allocation-table sectors
  StoreLe32(b, 48, 1);  // first directory sector
  StoreLe32(b, 56, 4096);
  StoreLe32(b, 60, 0xFFFFFFFE);  // no mini table
  StoreLe32(b, 68, 0xFFFFFFFE);  // no index sectors
  for (std::size_t i = 76; i < 512; i += 4) StoreLe32(b, i, 0xFFFFFFFF);
  StoreLe32(b, 76, 0);  // the allocation table is sector 0
  const std::size_t table = 512;
  for (std::size_t i = 0; i < 128; ++i) StoreLe32(b, table + 4 * i, 0xFFFFFFFF);
  StoreLe32(b, table + 0, 0xFFFFFFFD);
  StoreLe32(b, table + 4, 0xFFFFFFFE);
  for (uint32_t i = 0; i < data_sectors; ++i) {
    StoreLe32(b, table + 4 * (2 + i), i + 1 == data_sectors ? 0xFFFFFFFE : 3 + i);
  }
  const std::size_t directory = 1024;
  const std::u16string_view root = u"Root Entry";
  for (std::size_t i = 0; i < root.size(); ++i) StoreLe16(b, directory + 2 * i, root[i]);
  b[directory + 66] = 5;
  for (std::size_t i = 0; i < stream_name.size(); ++i)
    StoreLe16(b, directory + 128 + 2 * i, stream_name[i]);
  b[directory + 128 + 66] = 2;
  Bytes data = Filler(512 * data_sectors, 11);
  std::memcpy(b.data() + 1536, data.data(), data.size());
  return b;
}

// A transport stream of `packets` 188-byte packets; the packet at
// `broken_packet` (if below `packets`) does not start with 0x47.
inline Bytes MakeTransportStream(std::size_t packets, std::size_t broken_packet = SIZE_MAX) {
  Bytes b(packets * 188);
  for (std::size_t p = 0; p < packets; ++p) {
    uint8_t* packet = b.data() + p * 188;
    packet[0] = p == broken_packet ? 0x12 : 0x47;
    packet[1] = 0x01;
    packet[2] = 0x00;
    packet[3] = static_cast<uint8_t>(0x10 | (p & 0x0F));
    for (std::size_t i = 4; i < 188; ++i) packet[i] = static_cast<uint8_t>('a' + (p + i) % 26);
  }
  return b;
}

// The pack header and system header that start an MPEG program stream.
inline constexpr std::string_view kMpegPack(
    "\x00\x00\x01\xBA\x44\x00\x04\x00\x04\x01\x01\x89\xC3\xF8", 14);
inline constexpr std::string_view kMpegSystemHeader(
    "\x00\x00\x01\xBB\x00\x0C\x80\xC4\xE1\x04\xE1\xFF\xB9\xE0\x28\xBD\xE0\x08", 18);
inline constexpr std::string_view kMpegEndCode("\x00\x00\x01\xB9", 4);

// An MPEG program stream: a pack header with a system header, data, and the
// program end code: a stand-in whose only structure is its end code.
inline Bytes MakeMpegProgramStream(std::size_t data_bytes) {
  Bytes b;
  Append(b, kMpegPack);
  Append(b, kMpegSystemHeader);
  Bytes data = Filler(data_bytes, 13);
  b.insert(b.end(), data.begin(), data.end());
  Append(b, kMpegEndCode);
  return b;
}

// An MPEG program stream as DVD recorders write it: a pack header with a
// system header, then `data_bytes` of video in packets of up to 2,000
// bytes, each led by a pack header, and the program end code.
inline Bytes MakePacketisedProgramStream(std::size_t data_bytes) {
  constexpr std::size_t kPacketData = 2000;
  Bytes b;
  Append(b, kMpegPack);
  Append(b, kMpegSystemHeader);
  const Bytes data = Filler(data_bytes, 13);
  for (std::size_t at = 0; at < data.size(); at += kPacketData) {
    const std::size_t size = std::min(kPacketData, data.size() - at);
    if (at > 0) Append(b, kMpegPack);
    b.insert(b.end(), {0x00, 0x00, 0x01, 0xE0, static_cast<uint8_t>(size >> 8),
                       static_cast<uint8_t>(size & 0xFF)});
    b.insert(b.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
             data.begin() + static_cast<std::ptrdiff_t>(at + size));
  }
  Append(b, kMpegEndCode);
  return b;
}

// A RIFF WAVE file of `data_bytes` sample bytes.
inline Bytes MakeWav(uint32_t data_bytes) {
  Bytes b(44 + data_bytes, 0);
  std::memcpy(b.data(), "RIFF", 4);
  StoreLe32(b, 4, 36 + data_bytes);
  std::memcpy(b.data() + 8, "WAVEfmt ", 8);
  StoreLe32(b, 16, 16);
  StoreLe16(b, 20, 1);
  StoreLe16(b, 22, 1);
  StoreLe32(b, 24, 8000);
  StoreLe32(b, 28, 8000);
  StoreLe16(b, 32, 1);
  StoreLe16(b, 34, 8);
  std::memcpy(b.data() + 36, "data", 4);
  StoreLe32(b, 40, data_bytes);
  Bytes data = Filler(data_bytes, 17);
  std::memcpy(b.data() + 44, data.data(), data.size());
  return b;
}

// An NTFS file-record sector: where carved files must end.
inline Bytes MakeNtfsFileRecord(std::size_t sector_bytes = 512) {
  Bytes b(sector_bytes, 0);
  std::memcpy(b.data(), "FILE0\x00\x03\x00", 8);
  return b;
}

// A JPEG built byte by byte: SOI and APP0, `body_bytes` of data, then the
// end marker FF D9, followed in the same sector by other bytes when not
// `clean_end` (so that the marker does not end the file).
inline Bytes MakeJpeg(std::size_t body_bytes, bool clean_end) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  Bytes body = Filler(body_bytes, 1);
  b.insert(b.end(), body.begin(), body.end());
  b.push_back(0xFF);
  b.push_back(0xD9);
  if (!clean_end) b.push_back(0x55);
  return b;
}

// An 8 x 8 grey picture as ImageMagick encodes it (baseline, 159 bytes): the
// smallest file that decodes whole.
inline constexpr uint8_t kSmallJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x10, 0x0B, 0x0C, 0x0E, 0x0C, 0x0A, 0x10,
    0x0E, 0x0D, 0x0E, 0x12, 0x11, 0x10, 0x13, 0x18, 0x28, 0x1A, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23,
    0x25, 0x1D, 0x28, 0x3A, 0x33, 0x3D, 0x3C, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5C, 0x4E, 0x40,
    0x44, 0x57, 0x45, 0x37, 0x38, 0x50, 0x6D, 0x51, 0x57, 0x5F, 0x62, 0x67, 0x68, 0x67, 0x3E, 0x4D,
    0x71, 0x79, 0x70, 0x64, 0x78, 0x5C, 0x65, 0x67, 0x63, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08,
    0x00, 0x08, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xC4, 0x00, 0x14,
    0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x1F, 0xFF, 0xD9};
// Its JFIF start (start-of-image marker and APP0 segment) and the rest.
inline constexpr std::size_t kSmallJpegHead = 20;

// A JPEG of exactly `size` bytes (at least 163) that decodes whole: comment
// segments between the JFIF start and the picture carry `padding`'s first
// bytes (it holds at least `size`), so files of a test differ in content
// and length while their photo checks pass. Shorter sizes give
// the small JPEG's start and padding.
inline Bytes JpegOfSize(std::size_t size, const Bytes& padding) {
  constexpr std::size_t kSegmentHeader = 4, kMaxPayload = 65533;
  constexpr std::size_t kSmall = sizeof(kSmallJpeg);
  Bytes b(padding.begin(), padding.begin() + static_cast<std::ptrdiff_t>(size));
  if (size < kSmall + kSegmentHeader) {
    std::copy(kSmallJpeg, kSmallJpeg + std::min(size, kSmallJpegHead), b.begin());
    return b;
  }
  b.assign(kSmallJpeg, kSmallJpeg + kSmallJpegHead);
  std::size_t middle = size - kSmall;
  std::size_t from = 0;
  while (middle > 0) {
    std::size_t payload = std::min(middle - kSegmentHeader, kMaxPayload);
    const std::size_t rest = middle - kSegmentHeader - payload;
    // What is left must still make a whole segment.
    if (rest > 0 && rest < kSegmentHeader) payload -= kSegmentHeader;
    const std::size_t length = payload + 2;
    b.insert(b.end(),
             {0xFF, 0xFE, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)});
    b.insert(b.end(), padding.begin() + static_cast<std::ptrdiff_t>(from),
             padding.begin() + static_cast<std::ptrdiff_t>(from + payload));
    from += payload;
    middle -= kSegmentHeader + payload;
  }
  b.insert(b.end(), kSmallJpeg + kSmallJpegHead, kSmallJpeg + kSmall);
  return b;
}

// `jpeg` without its leading application segments, as encoders that write
// none leave it: the start-of-image marker, then the quantisation table.
inline Bytes WithoutApplicationSegments(Bytes jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] >= 0xE0 &&
         jpeg[at + 1] <= 0xEF) {
    at += 2 + LoadBe16(jpeg, at + 2);
  }
  jpeg.erase(jpeg.begin() + 2,
             jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(at, jpeg.size())));
  return jpeg;
}

// A ZIP archive: one local header, `body_bytes` of data and the end of the
// central directory.
inline Bytes MakeZip(std::size_t body_bytes) {
  Bytes b;
  Append(b, std::string_view("PK\x03\x04", 4));
  Bytes body = Filler(body_bytes, 4);
  b.insert(b.end(), body.begin(), body.end());
  Bytes end(22, 0);
  std::memcpy(end.data(), "PK\x05\x06", 4);
  b.insert(b.end(), end.begin(), end.end());
  return b;
}

// A 32-byte FAT short directory entry at `at`, with valid times.
inline void PutShortEntry(Bytes& b, std::size_t at, std::string_view name11, uint8_t attributes,
                          uint16_t cluster, uint32_t size) {
  std::memcpy(b.data() + at, name11.data(), 11);
  b[at + 11] = attributes;
  StoreLe16(b, at + 12, 0);  // reserved byte, creation hundredths
  StoreLe16(b, at + 20, 0);  // high half of the cluster
  const uint16_t date = ((2020 - 1980) << 9) | (1 << 5) | 1;
  StoreLe16(b, at + 14, 0x6000);
  StoreLe16(b, at + 16, date);
  StoreLe16(b, at + 18, date);
  StoreLe16(b, at + 22, 0x6000);
  StoreLe16(b, at + 24, date);
  StoreLe16(b, at + 26, cluster);
  StoreLe32(b, at + 28, size);
}

// A FAT directory sector: one live file entry, then the end mark.
inline Bytes MakeFatDirectorySector(std::size_t sector_bytes = 512) {
  Bytes b(sector_bytes, 0);
  PutShortEntry(b, 0, "README  TXT", 0x20, 3, 100);
  return b;
}

// The first sector of a FAT directory: the "." / ".." pair, then bytes that
// are no directory entries (so only the pair marks it).
inline Bytes MakeFatDirectoryStart(std::size_t sector_bytes = 512) {
  Bytes b = Filler(sector_bytes, 21);
  PutShortEntry(b, 0, ".          ", 0x10, 5, 0);
  PutShortEntry(b, 32, "..         ", 0x10, 0, 0);
  return b;
}

// An NTFS file record of a file as the formatted scan's router accepts it:
// 1,024 bytes allocated, the update sequence number at the sector's end.
inline Bytes MakeRoutedNtfsFileRecord(std::size_t sector_bytes = 512) {
  Bytes b(sector_bytes, 0);
  std::memcpy(b.data(), "FILE0\x00\x03\x00", 8);
  StoreLe32(b, 24, 400);
  StoreLe32(b, 28, 1024);
  StoreLe16(b, 48, 7);
  StoreLe16(b, sector_bytes - 2, 7);
  return b;
}

// A memory medium of `sectors` sectors of `fill` (0: zeros, else random
// bytes seeded by it), onto which files are placed.
class Medium {
 public:
  explicit Medium(uint64_t sectors, uint32_t fill_seed = 0, uint32_t sector_bytes = 512)
      : bytes_(sectors * sector_bytes, 0), sector_bytes_(sector_bytes) {
    if (fill_seed != 0) {
      std::mt19937 random(fill_seed);
      for (uint8_t& b : bytes_) b = static_cast<uint8_t>(random());
    }
  }

  // Places `data` at `sector` and clears the rest of its last sector, so the
  // file ends cleanly as a freshly written file would.
  void Place(uint64_t sector, const Bytes& data) {
    const std::size_t at = sector * sector_bytes_;
    const std::size_t end = (at + data.size() + sector_bytes_ - 1) / sector_bytes_ * sector_bytes_;
    std::fill(bytes_.begin() + at, bytes_.begin() + end, 0);
    std::copy(data.begin(), data.end(), bytes_.begin() + at);
  }

  uint64_t sectors() const { return bytes_.size() / sector_bytes_; }
  Bytes& bytes() { return bytes_; }

  // A read-only disk over a copy of the bytes.
  DiskHandle Open() const {
    DiskHandle disk;
    (void)OpenDiskFromSource(std::make_unique<platform::MemorySectorSource>(bytes_, sector_bytes_),
                             &disk);
    return disk;
  }

 private:
  Bytes bytes_;
  uint32_t sector_bytes_;
};

// A medium for comparing walks over it: stretches of random bytes and of
// zeros holding files of many formats (JPEG with and without a clean end,
// MP3 with and without a tag, MPEG, transport streams that keep or lose
// their packet grid, PDF, ZIP, compound documents, WAV, MKV) and, right
// behind some files or a few sectors later, file-system debris (NTFS file
// records, FAT directory sectors and directory starts, and pieces of `debris`
// in turn: metadata cut from real volumes, say). The same arguments give the
// same medium.
inline Medium MakeVariedMedium(uint64_t sectors, uint32_t seed,
                               const std::vector<Bytes>& debris = {}) {
  Medium medium(sectors, seed);
  std::mt19937 random(seed);
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  const auto sectors_of = [](const Bytes& b) { return (b.size() + 511) / 512; };
  uint64_t at = 8;
  while (at + 1200 < sectors) {
    if (pick(2) == 0) {
      const Bytes zeros(512 * (1 + pick(96)), 0);
      medium.Place(at, zeros);
      at += sectors_of(zeros) - pick(4);
    } else {
      at += pick(160);
    }
    Bytes file;
    const uint32_t kind = pick(13);
    switch (kind) {
      case 0:
      case 1:
        file = MakeJpeg(1000 + pick(150'000), kind == 0);
        break;
      case 2:
      case 3:
        file = MakeMp3(2000 + pick(100'000), kind == 2);
        break;
      case 4:
        file = MakeMpegProgramStream(1000 + pick(90'000));
        break;
      case 5:
        file = MakeTransportStream(50 + pick(1500));
        break;
      case 6:
        file = MakeTransportStream(200 + pick(600), 30 + pick(150));
        break;
      case 7:
        file = MakePdf(500 + pick(80'000), "\n");
        break;
      case 8:
        file = MakeZip(500 + pick(120'000));
        break;
      case 9:
        file = MakeCompoundDocument(2 + pick(60), u"Contents");
        break;
      case 10:
        file = MakeWav(1000 + pick(50'000));
        break;
      case 11:
        file = {0x1A, 0x45, 0xDF, 0xA3, 0x01, 0x00, 0x00, 0x00,
                0x00, 0x00, 0x00, 0x1F, 0x42, 0x86, 0x81, 0x01};
        break;
      default:
        file = MakeJpeg(200 + pick(3000), pick(2) == 0);
        break;
    }
    medium.Place(at, file);
    at += sectors_of(file);
    const uint64_t debris_at = at + (pick(2) == 0 ? 0 : pick(6));
    switch (pick(6)) {
      case 0:
        medium.Place(debris_at, MakeRoutedNtfsFileRecord());
        break;
      case 1:
        medium.Place(debris_at, MakeFatDirectorySector());
        break;
      case 2:
        medium.Place(debris_at, MakeFatDirectoryStart());
        break;
      case 3:
        if (!debris.empty())
          medium.Place(debris_at, debris[pick(static_cast<uint32_t>(debris.size()))]);
        break;
      default:
        break;
    }
  }
  return medium;
}

}  // namespace vexlo::carving::samples
