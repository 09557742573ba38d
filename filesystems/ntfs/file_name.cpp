#include "filesystems/ntfs/file_name.h"

#include "ondisk/ntfs_file_record.h"
#include "platform/text.h"

namespace vexlo::ntfs {

bool ParseFileName(std::span<const uint8_t> value, FileNameValue* name) {
  if (value.size() < file_name_value::kName) return false;
  const std::size_t name_bytes = 2u * file_name_value::kNameLength.Load(value);
  if (name_bytes == 0 || file_name_value::kName + name_bytes > value.size()) return false;
  name->parent_record = file_name_value::kParent.Load(value) & kRecordNumberMask;
  name->created = file_name_value::kCreated.Load(value);
  name->modified = file_name_value::kModified.Load(value);
  name->accessed = file_name_value::kAccessed.Load(value);
  name->real_size = file_name_value::kRealSize.Load(value);
  name->name_space = file_name_value::kNameSpace.Load(value);
  name->name_utf16 = value.subspan(file_name_value::kName, name_bytes);
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
  if (value.size() < standard_information_value::kMinBytes) return false;
  times->created = standard_information_value::kCreated.Load(value);
  times->modified = standard_information_value::kModified.Load(value);
  times->accessed = standard_information_value::kAccessed.Load(value);
  return true;
}

}  // namespace vexlo::ntfs
