#include "engine/record_filter.h"

#include <charconv>
#include <cstddef>

#include "engine/name_pattern.h"
#include "platform/filetime.h"

namespace vexlo {
namespace {

bool IsPathPattern(std::string_view pattern) { return pattern.find('/') != std::string_view::npos; }

bool MatchesPath(std::string_view pattern, std::string_view path_and_name) {
  if (pattern.starts_with('/')) pattern.remove_prefix(1);
  return MatchesNamePattern(pattern, path_and_name);
}

// Reads exactly `digits` decimal digits at the front of *text.
bool TakeNumber(std::string_view* text, std::size_t digits, int* value) {
  if (text->size() < digits) return false;
  for (std::size_t i = 0; i < digits; ++i) {
    if ((*text)[i] < '0' || (*text)[i] > '9') return false;
  }
  std::from_chars(text->data(), text->data() + digits, *value);
  text->remove_prefix(digits);
  return true;
}

bool TakeChar(std::string_view* text, char c) {
  if (text->empty() || (*text)[0] != c) return false;
  text->remove_prefix(1);
  return true;
}

}  // namespace

bool RecordFilter::Empty() const {
  return name_patterns.empty() && !min_size && !max_size && !modified_after && !modified_before &&
         !deleted_only && !intact_only;
}

bool RecordFilter::NeedsFolderPath() const {
  for (const std::string& pattern : name_patterns) {
    if (IsPathPattern(pattern)) return true;
  }
  return false;
}

bool RecordFilter::DecidedByRecord() const { return !intact_only && !NeedsFolderPath(); }

bool RecordFilter::Matches(const FoundFileRecord& file, std::string_view folder_path) const {
  const uint32_t deleted = file.deleted;
  const uint32_t content_check = file.content_check;
  const uint64_t size = file.size;
  const uint64_t modified = file.modified;
  if (deleted_only && deleted == 0) return false;
  if (intact_only && content_check == 0) return false;
  if (min_size && size < *min_size) return false;
  if (max_size && size > *max_size) return false;
  if (modified_after || modified_before) {
    if (modified == 0) return false;
    if (modified_after && modified < *modified_after) return false;
    if (modified_before && modified > *modified_before) return false;
  }
  if (name_patterns.empty()) return true;
  const std::string_view name = file.Name();
  std::string path_and_name;
  for (const std::string& pattern : name_patterns) {
    if (!IsPathPattern(pattern)) {
      if (MatchesNamePattern(pattern, name)) return true;
      continue;
    }
    if (path_and_name.empty()) path_and_name = std::string(folder_path) + std::string(name);
    if (MatchesPath(pattern, path_and_name)) return true;
  }
  return false;
}

bool ParseSizeText(std::string_view text, uint64_t* bytes) {
  uint64_t number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end == text.data()) return false;
  std::string_view unit = text.substr(static_cast<std::size_t>(end - text.data()));
  unsigned shift = 0;
  if (!unit.empty()) {
    switch (unit[0]) {
      case 'k':
      case 'K':
        shift = 10;
        break;
      case 'm':
      case 'M':
        shift = 20;
        break;
      case 'g':
      case 'G':
        shift = 30;
        break;
      case 't':
      case 'T':
        shift = 40;
        break;
      case 'b':
      case 'B':
        break;
      default:
        return false;
    }
    if (shift != 0) {
      unit.remove_prefix(1);
      if (unit == "i" || unit == "iB" || unit == "ib") unit = {};
    }
    if (unit == "b" || unit == "B") unit = {};
    if (!unit.empty()) return false;
  }
  if (shift != 0 && number > (UINT64_MAX >> shift)) return false;
  *bytes = number << shift;
  return true;
}

bool ParseTimeBound(std::string_view text, TimeBoundKind kind, uint64_t* filetime) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!TakeNumber(&text, 4, &year) || !TakeChar(&text, '-') || !TakeNumber(&text, 2, &month) ||
      !TakeChar(&text, '-') || !TakeNumber(&text, 2, &day)) {
    return false;
  }
  // The span an upper bound reaches past its first instant.
  uint64_t span_seconds = 86400;
  if (!text.empty()) {
    if (!TakeChar(&text, 'T') && !TakeChar(&text, ' ')) return false;
    if (!TakeNumber(&text, 2, &hour) || !TakeChar(&text, ':') || !TakeNumber(&text, 2, &minute)) {
      return false;
    }
    span_seconds = 60;
    if (!text.empty()) {
      if (!TakeChar(&text, ':') || !TakeNumber(&text, 2, &second)) return false;
      span_seconds = 1;
    }
    if (!text.empty()) return false;
  }
  const uint64_t first = platform::FiletimeFromCalendar(year, month, day, hour, minute, second);
  if (first == 0) return false;
  *filetime = kind == TimeBoundKind::kLower
                  ? first
                  : first + span_seconds * platform::kFiletimeTicksPerSecond - 1;
  return true;
}

}  // namespace vexlo
