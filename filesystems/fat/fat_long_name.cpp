#include "filesystems/fat/fat_long_name.h"

#include <string_view>

#include "platform/text.h"

namespace vexlo::fat {
namespace {

constexpr uint8_t kLastPartFlag = 0x40;
constexpr std::size_t kChecksumOffset = 13;
// Where the 13 characters of an entry lie: 5 at offset 1, 6 at 14, 2 at 28.
constexpr std::size_t kCharOffsets[kLongNameCharsPerEntry] = {1,  3,  5,  7,  9,  14, 16,
                                                              18, 20, 22, 24, 28, 30};

}  // namespace

bool LongNameCollector::Add(const DirEntry& entry) {
  const uint8_t* b = entry.bytes();
  const uint8_t checksum = b[kChecksumOffset];
  const bool starts_name = !entry.is_deleted() && (b[0] & kLastPartFlag) != 0;
  if (count_ > 0 && (starts_name || checksum != checksum_)) count_ = 0;
  if (count_ == kMaxLongNameEntries) return false;
  checksum_ = checksum;
  ++count_;
  const std::size_t start = chars_.size() - count_ * kLongNameCharsPerEntry;
  for (std::size_t i = 0; i < kLongNameCharsPerEntry; ++i) {
    chars_[start + i] = static_cast<char16_t>(LoadLe16(entry.span(), kCharOffsets[i]));
  }
  return true;
}

std::string LongNameCollector::TakeFor(const DirEntry& short_entry) {
  if (count_ == 0) return {};
  const std::size_t count = count_;
  count_ = 0;
  // A deleted short entry lost its first name byte, so its checksum cannot be
  // recomputed; a live one must match.
  if (!short_entry.is_deleted() && ShortNameChecksum(short_entry.bytes()) != checksum_) return {};
  std::u16string_view name(chars_.data() + chars_.size() - count * kLongNameCharsPerEntry,
                           count * kLongNameCharsPerEntry);
  name = name.substr(0, name.find(u'\0'));
  return platform::Utf16ToUtf8(name);
}

}  // namespace vexlo::fat
