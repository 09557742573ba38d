#include "engine/found_file_record.h"

#include <cstring>

#include "platform/text.h"

namespace vexlo {

void FoundFileRecord::SetName(std::string_view text) {
  const std::string_view cut = platform::TruncateUtf8(text, kRecordNameMaxText);
  // Stop at an embedded NUL: the stored name is a C string.
  const std::size_t length = std::min(cut.size(), cut.find('\0'));
  std::memset(name, 0, sizeof(name));
  std::memcpy(name, cut.data(), length);
}

std::string_view FoundFileRecord::Name() const { return std::string_view(name, strnlen(name, sizeof(name))); }

FoundFileRecord EmptyRecord() {
  FoundFileRecord record;
  std::memset(&record, 0, sizeof(record));
  return record;
}

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return name.substr(dot + 1);
}

}  // namespace vexlo
