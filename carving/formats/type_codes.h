// Type codes of the signature table.
//
// A header test answers one of these codes, or kNoMatch. The numbers are kept
// stable because they decide the first-match walk and the one-sector skip
// list; several rows may share a code (aliases), and the first row carrying a
// code names the extension under which such files are carved.
#pragma once

#include <cstdint>

namespace vexlo::carving::code {

inline constexpr int32_t kDoc = 0;
inline constexpr int32_t kDocx = 1;
inline constexpr int32_t kOle = 2;
inline constexpr int32_t kXls = 3;
inline constexpr int32_t kXlsx = 4;
inline constexpr int32_t kPpt = 5;
inline constexpr int32_t kPptx = 6;
inline constexpr int32_t kMso07 = 7;
inline constexpr int32_t kPdf = 8;
inline constexpr int32_t kGho = 9;
inline constexpr int32_t kJpg = 10;
inline constexpr int32_t kMp2 = 11;
inline constexpr int32_t kMp3 = 12;
inline constexpr int32_t kMid = 13;
inline constexpr int32_t kMmf = 14;
inline constexpr int32_t kMpeg = 15;
inline constexpr int32_t k3gp = 16;
inline constexpr int32_t kMov = 17;
inline constexpr int32_t kMp4 = 18;
inline constexpr int32_t kMkv = 19;
inline constexpr int32_t kTs = 20;
inline constexpr int32_t kWav = 21;
inline constexpr int32_t kAvi = 22;
inline constexpr int32_t kRmvb = 23;
inline constexpr int32_t kWmv = 24;
inline constexpr int32_t kApe = 25;
inline constexpr int32_t kSwf = 26;
inline constexpr int32_t kFlv = 27;
inline constexpr int32_t kPsd = 28;
inline constexpr int32_t kBmp = 29;
inline constexpr int32_t kPng = 30;
inline constexpr int32_t kGif = 31;
inline constexpr int32_t kTif = 32;
inline constexpr int32_t kCab = 33;
inline constexpr int32_t k7z = 34;
inline constexpr int32_t kZip = 35;
inline constexpr int32_t kGz = 36;
inline constexpr int32_t kRar = 37;
inline constexpr int32_t kPst = 38;
inline constexpr int32_t kDb = 39;
inline constexpr int32_t kDbx = 40;
inline constexpr int32_t kExe = 41;
inline constexpr int32_t kDll = 42;
inline constexpr int32_t kSys = 43;
inline constexpr int32_t kFla = 44;
inline constexpr int32_t kTtf = 45;
inline constexpr int32_t kIco = 46;
inline constexpr int32_t kMts = 47;
inline constexpr int32_t kMxf = 48;
// No format starts here; also the code of the table's end row.
inline constexpr int32_t kNoMatch = 49;
// Formats added after the end code was fixed.
inline constexpr int32_t kM4a = 50;
inline constexpr int32_t kM4v = 51;
inline constexpr int32_t k3g2 = 52;
inline constexpr int32_t kHeic = 53;
inline constexpr int32_t kAvif = 54;
inline constexpr int32_t kCr3 = 55;
inline constexpr int32_t kWebp = 56;
inline constexpr int32_t kCr2 = 57;
inline constexpr int32_t kNef = 58;
inline constexpr int32_t kArw = 59;
inline constexpr int32_t kDng = 60;
inline constexpr int32_t kOrf = 61;
inline constexpr int32_t kRw2 = 62;
inline constexpr int32_t kPef = 63;
inline constexpr int32_t kRaf = 64;
inline constexpr int32_t kM2ts = 65;
inline constexpr int32_t kX3f = 66;

// Formats whose length comes from a header field or which may contain other
// files: after a hit the scan goes on with the very next sector, so that
// files embedded in them are still found.
constexpr bool SkipsOneSectorOnly(int32_t type_code) {
  switch (type_code) {
    case kDoc:
    case kOle:
    case kXls:
    case kPpt:
    case kWav:
    case kAvi:
    case kWebp:
    case kWmv:
    case kSwf:
    case kBmp:
    case kCab:
    case kTtf:
    case kIco:
      return true;
    default:
      return false;
  }
}

}  // namespace vexlo::carving::code
