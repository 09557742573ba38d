// Camera files for the carving tests, written byte by byte from each
// format's published structure where no Debian tool writes them: TIFF-based
// RAW files of every maker, Fujifilm RAF, Sigma X3F, Canon CR3, and the
// multi-picture index that cameras put in a JPEG to append further images.
// Header-only so that it is no part of the engine.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "carving/test_samples.h"
#include "ondisk/endian.h"

namespace vexlo::carving::samples {

// A JPEG marker segment: the marker, its length and `payload`.
inline Bytes JpegSegment(uint8_t marker, const Bytes& payload) {
  Bytes b = {0xFF, marker, 0, 0};
  StoreBe16(b, 2, static_cast<uint16_t>(payload.size() + 2));
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

// `first` with a multi-picture index (APP2 "MPF") behind its start-of-image
// marker that lists `second`, and `second` appended, as cameras store a
// picture and its large preview or a stereo pair. The index's offsets count
// from its byte-order mark.
inline Bytes WithMultiPictureIndex(const Bytes& first, const Bytes& second, bool big_endian) {
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
    put16(10, 0xB002);  // the MP entries
    put16(12, 7);
    put32(14, 32);
    put32(18, 26);
    put32(26 + 4, 1000);  // the first image: offset 0
    put32(26 + 16 + 4, static_cast<uint32_t>(second.size()));
    put32(26 + 16 + 8, second_offset);
    index.insert(index.end(), tiff.begin(), tiff.end());
    const Bytes segment = JpegSegment(0xE2, index);
    Bytes b(first.begin(), first.begin() + 2);
    b.insert(b.end(), segment.begin(), segment.end());
    b.insert(b.end(), first.begin() + 2, first.end());
    return b;
  };
  // The second image's offset counts from the byte-order mark: 2 (start)
  // + 4 (segment head) + 4 ("MPF\0").
  Bytes b = build(static_cast<uint32_t>(build(0).size() - 10));
  b.insert(b.end(), second.begin(), second.end());
  return b;
}

// What sets a TIFF-based RAW file apart from a plain TIFF.
struct TiffRawKind {
  std::string_view make;                  // the Make tag
  std::string_view magic = "II\x2A\x00";  // the first four bytes
  bool canon_marker = false;              // "CR" and its version at offset 8
  bool dng_version = false;               // a DNGVersion tag in IFD0
};

// A TIFF-based RAW file as cameras lay it out, written from the format's
// published structure: the header, IFD0 with the maker's name and a JPEG
// preview, a SubIFD whose one strip holds `sensor_bytes` of sensor data, an
// Exif IFD with an out-of-line maker note, and the data behind them, the
// sensor data last.
inline Bytes MakeTiffRaw(const TiffRawKind& kind, std::size_t sensor_bytes = 200'000) {
  Bytes b(512, 0);
  std::memcpy(b.data(), kind.magic.data(), 4);
  StoreLe32(b, 4, 8);
  auto entry = [&](std::size_t at, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    StoreLe16(b, at, tag);
    StoreLe16(b, at + 2, type);
    StoreLe32(b, at + 4, count);
    StoreLe32(b, at + 8, value);
  };
  const Bytes preview = MakeJpeg(5000, true);
  const Bytes maker_note = Filler(900, 4);
  const Bytes sensor = Filler(sensor_bytes, 5);
  const uint32_t make_at = 400, preview_at = 512;
  const auto note_at = static_cast<uint32_t>(preview_at + preview.size() + 16);
  const auto sensor_at = static_cast<uint32_t>(note_at + maker_note.size() + 64);
  // CR2 keeps its marker where IFD0 would start, so IFD0 moves behind it.
  const uint32_t ifd0 = kind.canon_marker ? 16 : 8;
  if (kind.canon_marker) {
    std::memcpy(b.data() + 8, "CR\x02\x00", 4);
    StoreLe32(b, 4, ifd0);
  }
  // IFD0: Make, SubIFDs, Exif IFD, preview offset and length, and for DNG
  // its version.
  StoreLe16(b, ifd0, kind.dng_version ? 6 : 5);
  entry(ifd0 + 2, 0x010F, 2, static_cast<uint32_t>(kind.make.size() + 1), make_at);
  entry(ifd0 + 14, 0x014A, 4, 1, 100);
  entry(ifd0 + 26, 0x8769, 4, 1, 200);
  entry(ifd0 + 38, 0x0201, 4, 1, preview_at);
  entry(ifd0 + 50, 0x0202, 4, 1, static_cast<uint32_t>(preview.size()));
  if (kind.dng_version) entry(ifd0 + 62, 0xC612, 1, 4, 0x00000401);
  std::memcpy(b.data() + make_at, kind.make.data(), kind.make.size());
  // The SubIFD at 100: one strip.
  StoreLe16(b, 100, 2);
  entry(102, 0x0111, 4, 1, sensor_at);
  entry(114, 0x0117, 4, 1, static_cast<uint32_t>(sensor.size()));
  // The Exif IFD at 200: the maker note.
  StoreLe16(b, 200, 1);
  entry(202, 0x927C, 7, static_cast<uint32_t>(maker_note.size()), note_at);
  for (const auto& [at, part] : {std::pair{preview_at, &preview}, std::pair{note_at, &maker_note},
                                 std::pair{sensor_at, &sensor}}) {
    b.resize(at, 0);
    b.insert(b.end(), part->begin(), part->end());
  }
  return b;
}

inline Bytes MakeTiffRaw(std::string_view make) { return MakeTiffRaw(TiffRawKind{make}); }

// A Fujifilm RAF laid out as cameras write it: the header, the preview
// JPEG, the sensor header and `sensor_bytes` of sensor data, each where the
// header says.
inline Bytes MakeRaf(std::size_t sensor_bytes = 9000) {
  Bytes b(108, 0);
  std::memcpy(b.data(), "FUJIFILMCCD-RAW 0201FF129502", 28);
  const Bytes preview = MakeJpeg(3000, true);
  const Bytes sensor_header = Filler(700, 2);
  const Bytes sensor = Filler(sensor_bytes, 3);
  uint32_t at = 160;
  for (const auto& [field, part] :
       {std::pair{84u, &preview}, std::pair{92u, &sensor_header}, std::pair{100u, &sensor}}) {
    StoreBe32(b, field, at);
    StoreBe32(b, field + 4, static_cast<uint32_t>(part->size()));
    b.resize(at, 0);
    b.insert(b.end(), part->begin(), part->end());
    at = static_cast<uint32_t>(b.size() + 32);
  }
  return b;
}

// A Sigma X3F as its published structure lays it out: the "FOVb" header
// (version 2.2, with its extended data), a property section, an image
// section with `raw_bytes` of raw data and one with a JPEG preview, the
// section directory, and the directory's offset as the last 4 bytes.
inline Bytes MakeX3f(std::size_t raw_bytes = 150'000) {
  Bytes b(232, 0);
  std::memcpy(b.data(), "FOVb", 4);
  StoreLe32(b, 4, 0x00020002);
  StoreLe32(b, 28, 2640);  // columns
  StoreLe32(b, 32, 1760);  // rows
  struct Section {
    const char* type;
    Bytes bytes;
  };
  Bytes properties(64, 0);
  std::memcpy(properties.data(), "SECp", 4);
  Bytes raw(40, 0);
  std::memcpy(raw.data(), "SECi", 4);
  const Bytes raw_data = Filler(raw_bytes, 6);
  raw.insert(raw.end(), raw_data.begin(), raw_data.end());
  Bytes preview(40, 0);
  std::memcpy(preview.data(), "SECi", 4);
  const Bytes jpeg = MakeJpeg(6000, true);
  preview.insert(preview.end(), jpeg.begin(), jpeg.end());
  const Section sections[] = {{"PROP", properties}, {"IMA2", raw}, {"IMAG", preview}};
  std::vector<std::pair<uint32_t, uint32_t>> placed;
  for (const Section& section : sections) {
    placed.emplace_back(static_cast<uint32_t>(b.size()),
                        static_cast<uint32_t>(section.bytes.size()));
    b.insert(b.end(), section.bytes.begin(), section.bytes.end());
  }
  const auto directory_at = static_cast<uint32_t>(b.size());
  Bytes directory(12 + 12 * std::size(sections) + 4, 0);
  std::memcpy(directory.data(), "SECd", 4);
  StoreLe32(directory, 4, 0x00020000);
  StoreLe32(directory, 8, static_cast<uint32_t>(std::size(sections)));
  for (std::size_t i = 0; i < placed.size(); ++i) {
    StoreLe32(directory, 12 + 12 * i, placed[i].first);
    StoreLe32(directory, 16 + 12 * i, placed[i].second);
    std::memcpy(directory.data() + 20 + 12 * i, sections[i].type, 4);
  }
  StoreLe32(directory, directory.size() - 4, directory_at);
  b.insert(b.end(), directory.begin(), directory.end());
  return b;
}

// An ISO media box: its 32-bit size, `type` and `payload`.
inline Bytes IsoBox(std::string_view type, const Bytes& payload) {
  Bytes b(8, 0);
  StoreBe32(b, 0, static_cast<uint32_t>(8 + payload.size()));
  std::memcpy(b.data() + 4, type.data(), 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

// A Canon CR3 as its published structure lays it out: "ftyp" of brand
// "crx ", a "moov" holding Canon's "uuid" box with the compressor version,
// and an "mdat" with a JPEG preview and `sensor_bytes` of sensor data.
inline Bytes MakeCr3(std::size_t sensor_bytes = 120'000) {
  Bytes brands;
  Append(brands, std::string_view("crx \0\0\0\x01"
                                  "crx isom",
                                  16));
  Bytes canon;
  Append(canon,
         std::string_view("\x85\xC0\xB6\x87\x82\x0F\x11\xE0\x81\x11\xF4\xCE\x46\x2B\x6A\x48", 16));
  Bytes version;
  Append(version, "CanonCR3_001/00.09.00/00.00.00");
  const Bytes cncv = IsoBox("CNCV", version);
  canon.insert(canon.end(), cncv.begin(), cncv.end());
  Bytes media = MakeJpeg(4000, true);
  const Bytes sensor = Filler(sensor_bytes, 7);
  media.insert(media.end(), sensor.begin(), sensor.end());
  Bytes b = IsoBox("ftyp", brands);
  for (const Bytes& box : {IsoBox("moov", IsoBox("uuid", canon)), IsoBox("mdat", media)}) {
    b.insert(b.end(), box.begin(), box.end());
  }
  return b;
}

}  // namespace vexlo::carving::samples
