#include "engine/found_file_record.h"

#include <cstring>

#include "platform/text.h"

namespace vexlo {

void FoundFileRecord::SetName(std::string_view text) {
  // Stop at an embedded NUL: the stored name is a C string.
  const std::string cut =
      platform::ShortenKeepingExtension(text.substr(0, text.find('\0')), kRecordNameMaxText);
  std::memset(name, 0, sizeof(name));
  std::memcpy(name, cut.data(), cut.size());
}

std::string_view FoundFileRecord::Name() const {
  return std::string_view(name, strnlen(name, sizeof(name)));
}

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
