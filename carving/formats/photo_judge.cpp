#include "carving/formats/photo_judge.h"

#include <algorithm>
#include <iterator>
#include <span>
#include <string_view>

#include "carving/formats/jpeg_decode_check.h"
#include "carving/formats/png_structure.h"
#include "platform/text.h"

namespace vexlo::carving {
namespace {

constexpr int32_t kJudged = 1;  // the sink's answer that stops the reading early

template <std::size_t N>
bool NamedAs(std::string_view extension, const std::string_view (&known)[N]) {
  return std::any_of(std::begin(known), std::end(known), [&](std::string_view one) {
    return platform::EqualsIgnoringAsciiCase(one, extension);
  });
}

bool JpegWhole(uint64_t size, const RecordDataReader& read) {
  JpegDecodeCheck check;
  const ErrorCode rc = read(size, [&](std::span<const uint8_t> bytes, uint64_t) -> int32_t {
    check.Feed(bytes.data(), bytes.size());
    return check.wants_more() ? 0 : kJudged;
  });
  if (rc != 0 && rc != kJudged) return true;
  return !check.Damaged(size);
}

bool PngWhole(uint64_t size, const RecordDataReader& read) {
  PngStructure structure;
  StructureVerdict verdict = StructureVerdict::kMore;
  const ErrorCode rc = read(size, [&](std::span<const uint8_t> bytes, uint64_t) -> int32_t {
    verdict = structure.Feed(bytes.data(), bytes.size());
    return verdict == StructureVerdict::kMore && !structure.damaged() ? 0 : kJudged;
  });
  if (rc != 0 && rc != kJudged) return true;
  // A file that ends before its IEND chunk was cut: its last rows are gone.
  return verdict == StructureVerdict::kEnd && !structure.damaged();
}

}  // namespace

bool PhotoWhole(const FoundFileRecord& file, const RecordDataReader& read) {
  constexpr std::string_view kJpegExtensions[] = {"jpg", "jpeg", "jpe", "jfif"};
  constexpr std::string_view kPngExtensions[] = {"png"};
  const std::string_view extension = ExtensionOf(file.Name());
  const uint64_t size = file.size;
  if (NamedAs(extension, kJpegExtensions)) return JpegWhole(size, read);
  if (NamedAs(extension, kPngExtensions)) return PngWhole(size, read);
  return true;
}

}  // namespace vexlo::carving
