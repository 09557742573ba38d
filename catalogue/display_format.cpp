#include "catalogue/display_format.h"

#include <cinttypes>
#include <cstdio>

#include "engine/record_output.h"
#include "platform/error_code.h"
#include "platform/filetime.h"

namespace vexlo::catalogue {
namespace {

constexpr int64_t kKiB = int64_t{1} << 10;
constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int64_t kGiB = int64_t{1} << 30;
constexpr int64_t kTiB = int64_t{1} << 40;

std::string Scaled(int64_t bytes, int64_t unit, const char* suffix) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.2f%s",
                static_cast<double>(bytes) / static_cast<double>(unit), suffix);
  return text;
}

}  // namespace

std::string SizeText(int64_t bytes) {
  if (bytes >= kTiB) return Scaled(bytes, kTiB, " TB");
  if (bytes < 0) {
    return std::to_string(static_cast<int32_t>(static_cast<uint32_t>(bytes))) + " Bytes";
  }
  if (bytes >= kGiB) return Scaled(bytes, kGiB, " GB");
  if (bytes >= kMiB) return Scaled(bytes, kMiB, " MB");
  if (bytes >= kKiB) return Scaled(bytes, kKiB, " KB");
  return std::to_string(bytes) + " Bytes";
}

std::string DurationText(int64_t seconds) {
  char text[64];
  if (seconds > 3599) {
    const int64_t hours = seconds / 3600;
    std::snprintf(text, sizeof(text), "%lld Hour %lld Min", static_cast<long long>(hours),
                  static_cast<long long>((seconds - 3600 * hours) / 60));
  } else if (seconds >= 60) {
    std::snprintf(text, sizeof(text), "%lld Min %lld Sec", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof(text), "%lld Sec", static_cast<long long>(seconds));
  }
  return text;
}

std::string DateText(uint64_t filetime) {
  const std::tm fields = platform::CalendarFromFiletime(filetime);
  char text[260];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d", fields.tm_year + 1900,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min);
  return text;
}

std::string GroupedNumber(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string IsoTimeText(uint64_t filetime, bool with_fraction) {
  if (filetime == 0) return {};
  const std::tm fields = platform::CalendarFromFiletime(filetime);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", fields.tm_year + 1900,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  std::string result = text;
  const uint64_t ticks = filetime % platform::kFiletimeTicksPerSecond;
  if (with_fraction && ticks != 0) {
    std::snprintf(text, sizeof text, ".%07" PRIu64, ticks);
    std::string fraction = text;
    while (fraction.back() == '0') fraction.pop_back();
    result += fraction;
  }
  return result;
}

std::string RecoveryOutcomeText(int32_t code) { return RecoveryOutcomeText(code, LastShortCopy()); }

std::string RecoveryOutcomeText(int32_t code, const ShortCopy& counts) {
  if (code == err::kSuccess) return "Success";
  if (code == err::kHandleEof) {
    return "only " + GroupedNumber(counts.written) + " of " + GroupedNumber(counts.size) +
           " bytes could be recovered";
  }
  return platform::SystemMessage(code);
}

}  // namespace vexlo::catalogue
