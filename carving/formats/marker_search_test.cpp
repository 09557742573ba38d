#include "carving/formats/marker_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::carving {
namespace {

using namespace std::string_view_literals;

// Markers of every length the length rules search for, with first and last
// bytes that are common in the data below (zero fill, FF runs).
constexpr std::string_view kMarkers[] = {
    "\xFF\xD9"sv,
    "\x00\x3B"sv,
    "TAG"sv,
    "\x00\x00\x01\xB9"sv,
    "PK\x05\x06"sv,
    "%%EOF"sv,
    "trailer"sv,
    "IEND\xAE\x42\x60\x82"sv,
    "APETAGEX\xD0\x07"sv,
    "\x00\x07\x0B\x01\x00\x01\x23\x03\x01\x01\x05\x5D"sv,
    "freeIsoMedia File Produced"sv,
    "\x00\x00"sv,
    "\xFF"sv,
};

enum class Fill { kRandom, kZero, kMarkerBytes };

// A buffer of `size` bytes with `plants` copies of the marker (and of its
// halves, which must not be taken for it) at random places, some overlapping
// each other and the buffer's ends.
std::vector<uint8_t> Buffer(std::size_t size, Fill fill, std::string_view marker, int plants,
                            std::mt19937& random) {
  std::vector<uint8_t> bytes(size, 0);
  for (uint8_t& b : bytes) {
    switch (fill) {
      case Fill::kRandom:
        b = static_cast<uint8_t>(random());
        break;
      case Fill::kZero:
        break;
      case Fill::kMarkerBytes:  // only the marker's own first and last bytes
        b = static_cast<uint8_t>(random() % 2 ? marker.front() : marker.back());
        break;
    }
  }
  const std::string_view pieces[] = {marker, marker.substr(0, marker.size() / 2 + 1),
                                     marker.substr(marker.size() / 2)};
  for (int i = 0; i < plants; ++i) {
    const std::string_view piece = pieces[random() % 3];
    if (piece.size() > size) continue;
    const std::size_t at = random() % (size - piece.size() + 1);
    std::copy(piece.begin(), piece.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return bytes;
}

// The block scan must find exactly what the plain search finds, first and
// last, whatever the alignment of the range and however near its ends the
// marker lies.
TEST(MarkerSearchTest, BlockScanFindsWhatThePlainSearchFinds) {
  std::mt19937 random(20241208);
  std::size_t found = 0;
  for (const std::string_view marker : kMarkers) {
    for (const Fill fill : {Fill::kRandom, Fill::kZero, Fill::kMarkerBytes}) {
      for (const std::size_t size : {0u, 1u, 5u, 31u, 64u, 65u, 200u, 4096u}) {
        for (const int plants : {0, 1, 3}) {
          const std::vector<uint8_t> bytes = Buffer(size, fill, marker, plants, random);
          const uint8_t* const data = bytes.data();
          // Ranges that start and end at every offset near the buffer's ends.
          for (std::size_t from = 0; from <= std::min<std::size_t>(size, 40); ++from) {
            for (std::size_t cut = 0; cut <= std::min<std::size_t>(size - from, 3); ++cut) {
              const uint8_t* begin = data + from;
              const uint8_t* end = data + size - cut;
              const uint8_t* first = FindMarkerPlain(begin, end, marker);
              ASSERT_EQ(FindMarker(begin, end, marker), first)
                  << "marker " << marker.size() << " bytes, size " << size << ", from " << from
                  << ", cut " << cut;
              ASSERT_EQ(FindLastMarker(begin, end, marker), FindLastMarkerPlain(begin, end, marker))
                  << "marker " << marker.size() << " bytes, size " << size << ", from " << from
                  << ", cut " << cut;
              found += first != nullptr;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(found, 10000u);  // the cases are not mostly misses
}

TEST(MarkerSearchTest, EmptyMarkerAndReversedRangeFindNothing) {
  const std::string text = "abcabc";
  const auto* begin = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* end = begin + text.size();
  struct Case {
    const uint8_t* begin;
    const uint8_t* end;
    std::string_view marker;
  } cases[] = {{begin, end, ""}, {end, begin, "abc"}, {begin, begin + 2, "abc"}};
  for (const Case& c : cases) {
    EXPECT_EQ(FindMarker(c.begin, c.end, c.marker), nullptr);
    EXPECT_EQ(FindLastMarker(c.begin, c.end, c.marker), nullptr);
  }
  EXPECT_EQ(FindMarker(begin, end, "abc"), begin);
  EXPECT_EQ(FindLastMarker(begin, end, "abc"), begin + 3);
}

}  // namespace
}  // namespace vexlo::carving
