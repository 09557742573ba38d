// The file-name ($FILE_NAME) and standard-information ($STANDARD_INFORMATION)
// values of a FILE record: names, parent folder, sizes and times.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vexlo::ntfs {

enum class NameSpace : uint8_t { kPosix = 0, kWin32 = 1, kDos = 2, kWin32AndDos = 3 };

struct FileNameValue {
  // MFT record of the folder that holds the name (low 48 bits of the
  // reference).
  uint64_t parent_record = 0;
  uint64_t created = 0;   // FILETIME
  uint64_t modified = 0;  // FILETIME
  uint64_t accessed = 0;  // FILETIME
  uint64_t real_size = 0;
  uint8_t name_space = 0;
  // The name as UTF-16LE bytes, inside the record.
  std::span<const uint8_t> name_utf16;
};

// False when the value is too short for its fixed part or its name.
bool ParseFileName(std::span<const uint8_t> value, FileNameValue* name);

// The name converted to UTF-8.
std::string FileNameUtf8(const FileNameValue& name);

// Whether a name in `candidate` should replace one in `current`: a long
// (Win32) name beats every other, and any name beats a DOS 8.3 alias.
bool PrefersName(uint8_t current, uint8_t candidate);

struct StandardTimes {
  uint64_t created = 0;   // FILETIME
  uint64_t modified = 0;  // FILETIME
  uint64_t accessed = 0;  // FILETIME
};

// The times of a standard-information value; false when it is too short.
bool ParseStandardInformation(std::span<const uint8_t> value, StandardTimes* times);

}  // namespace vexlo::ntfs
