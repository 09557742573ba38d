#include "filesystems/ntfs/file_name.h"

#include "filesystems/ntfs/ntfs_bytes.h"
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
  name->parent_record = Le64(&value[kParentField]) & 0x0000FFFFFFFFFFFFull;
  name->created = Le64(&value[kCreatedField]);
  name->modified = Le64(&value[kModifiedField]);
  name->accessed = Le64(&value[kAccessedField]);
  name->real_size = Le64(&value[kRealSizeField]);
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
  times->created = Le64(&value[kSiCreatedField]);
  times->modified = Le64(&value[kSiModifiedField]);
  times->accessed = Le64(&value[kSiAccessedField]);
  return true;
}

}  // namespace vexlo::ntfs
