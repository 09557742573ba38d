#include "engine/record_order.h"

#include <algorithm>

#include "platform/text.h"

namespace vexlo {

bool NameLess(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(platform::ToLowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(platform::ToLowerAscii(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

bool RecordLess(const FoundFileRecord& a, const FoundFileRecord& b) {
  const bool a_folder = a.is_folder != 0;
  const bool b_folder = b.is_folder != 0;
  if (a_folder != b_folder) return b_folder;
  return NameLess(a.Name(), b.Name());
}

void SortRecords(std::vector<FoundFileRecord>* records, std::size_t first) {
  std::stable_sort(records->begin() + static_cast<std::ptrdiff_t>(first), records->end(),
                   RecordLess);
}

}  // namespace vexlo
