#include "filesystems/ntfs/file_name.h"

#include "ondisk/endian.h"
#include "ondisk/ntfs_file_record.h"
#include "platform/text.h"

namespace vexlo::ntfs {
namespace {

constexpr std::size_t kParentField = 0;
constexpr std::size_t kCreatedField = 8;
constexpr std::size_t kModifiedField = 16;
constexpr std::size_t kAccessedField = 32;
constexpr std::size_t kRealSizeField = 48;
constexpr std::size_t kNameLengthField = 64;
constexpr std::size_t kNameSpaceField = 65;
constexpr std::size_t kNameField = 66;

constexpr std::size_t kSiCreatedField = 0;
constexpr std::size_t kSiModifiedField = 8;
constexpr std::size_t kSiAccessedField = 24;
constexpr std::size_t kSiMinBytes = 32;

}  // namespace

bool ParseFileName(std::span<const uint8_t> value, FileNameValue* name) {
  if (value.size() < kNameField) return false;
  const std::size_t name_bytes = 2u * value[kNameLengthField];
  if (name_bytes == 0 || kNameField + name_bytes > value.size()) return false;
  name->parent_record = LoadLe64(value, kParentField) & kRecordNumberMask;
  name->created = LoadLe64(value, kCreatedField);
  name->modified = LoadLe64(value, kModifiedField);
  name->accessed = LoadLe64(value, kAccessedField);
  name->real_size = LoadLe64(value, kRealSizeField);
  name->name_space = value[kNameSpaceField];
  name->name_utf16 = value.subspan(kNameField, name_bytes);
  return true;
}

std::string FileNameUtf8(const FileNameValue& name) {
  return platform::Utf16LeBytesToUtf8(name.name_utf16);
}

bool PrefersName(uint8_t current, uint8_t candidate) {
  if (candidate == static_cast<uint8_t>(NameSpace::kWin32)) return true;
  return current == static_cast<uint8_t>(NameSpace::kDos) &&
         candidate != static_cast<uint8_t>(NameSpace::kDos);
}

bool ParseStandardInformation(std::span<const uint8_t> value, StandardTimes* times) {
  if (value.size() < kSiMinBytes) return false;
  times->created = LoadLe64(value, kSiCreatedField);
  times->modified = LoadLe64(value, kSiModifiedField);
  times->accessed = LoadLe64(value, kSiAccessedField);
  return true;
}

}  // namespace vexlo::ntfs
