#include "carving/formats/pdf_structure.h"

#include <cstring>
#include <string_view>

namespace vexlo::carving {
namespace {

constexpr std::string_view kEof = "%%EOF";

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

enum class Continuation { kYes, kNo, kUndecided };

// Whether look[0, size) begins "xref" or "<number> <generation> obj".
Continuation ClassifyContinuation(const uint8_t* look, std::size_t size) {
  if (look[0] == 'x') {
    constexpr std::string_view kXref = "xref";
    if (size > kXref.size() || std::memcmp(look, kXref.data(), size) != 0) return Continuation::kNo;
    return size == kXref.size() ? Continuation::kYes : Continuation::kUndecided;
  }
  constexpr std::string_view kObj = "obj";
  int field = 0;  // 0 number, 1 generation, 2 the keyword
  std::size_t field_bytes = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t c = look[i];
    if (field < 2 && IsDigit(c)) {
      ++field_bytes;
    } else if (field < 2 && c == ' ' && field_bytes > 0) {
      ++field;
      field_bytes = 0;
    } else if (field == 2 && field_bytes < kObj.size() && c == kObj[field_bytes]) {
      if (++field_bytes == kObj.size()) return Continuation::kYes;
    } else {
      return Continuation::kNo;
    }
  }
  return Continuation::kUndecided;
}

}  // namespace

StructureVerdict PdfStructure::Feed(const uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i, ++offset_) {
    const uint8_t c = data[i];
    switch (state_) {
      case State::kScan:
        if (matched_ == 0) {
          // Most bytes are no '%': jump to the next one.
          const auto* found = static_cast<const uint8_t*>(std::memchr(data + i, '%', size - i));
          if (found == nullptr) {
            offset_ += size - i;
            return StructureVerdict::kMore;
          }
          const auto skipped = static_cast<std::size_t>(found - (data + i));
          i += skipped;
          offset_ += skipped;
          matched_ = 1;
        } else if (c == '%') {
          matched_ = matched_ <= 2 ? 2 : 1;
        } else if (matched_ >= 2 && c == static_cast<uint8_t>(kEof[matched_])) {
          if (++matched_ == kEof.size()) {
            matched_ = 0;
            end_ = offset_ + 1;
            state_ = State::kLineEnd;
          }
        } else {
          matched_ = 0;
        }
        break;
      case State::kLineEnd:
        // Writers put an end-of-line after the marker; it belongs to the file.
        if (offset_ == end_ && (c == '\r' || c == '\n')) {
          end_ = offset_ + 1;
          if (c == '\r') break;
        }
        state_ = State::kBlank;
        if (offset_ + 1 == end_) break;
        [[fallthrough]];
      case State::kBlank:
        if (IsBlank(c)) break;
        state_ = State::kContinuation;
        look_bytes_ = 0;
        [[fallthrough]];
      case State::kContinuation: {
        look_[look_bytes_++] = c;
        const Continuation next = ClassifyContinuation(look_.data(), look_bytes_);
        if (next == Continuation::kYes) {
          state_ = State::kScan;
        } else if (next == Continuation::kNo || look_bytes_ == look_.size()) {
          return StructureVerdict::kEnd;
        }
        break;
      }
    }
  }
  return StructureVerdict::kMore;
}

}  // namespace vexlo::carving
