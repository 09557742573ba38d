#include "recovery/record_dedupe.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace vexlo {
namespace {

bool IsFileOf(const FoundFileRecord& record, FsKind kind) {
  return record.fs_kind == static_cast<uint32_t>(kind) && record.is_folder == 0;
}

// FNV-1a over the fields that identify the directory entry.
uint64_t EntryHash(const FoundFileRecord& record) {
  uint64_t hash = 14695981039346656037ull;
  auto byte = [&hash](uint8_t value) { hash = (hash ^ value) * 1099511628211ull; };
  auto mix = [&byte](uint64_t value) {
    for (int i = 0; i < 8; ++i, value >>= 8) byte(static_cast<uint8_t>(value));
  };
  mix(record.key);
  mix(record.size);
  mix(record.created);
  mix(record.modified);
  for (char c : record.Name()) byte(static_cast<uint8_t>(platform::ToLowerAscii(c)));
  return hash;
}

bool SameEntry(const FoundFileRecord& a, const FoundFileRecord& b) {
  const std::string_view a_name = a.Name();
  const std::string_view b_name = b.Name();
  return a.key == b.key && a.size == b.size && a.created == b.created && a.modified == b.modified &&
         a.partition_start == b.partition_start &&
         platform::EqualsIgnoringAsciiCase(a_name, b_name);
}

}  // namespace

void DropRebuiltFatDuplicates(std::vector<FoundFileRecord>* records, std::size_t first) {
  std::vector<FoundFileRecord>& all = *records;
  // (hash, index) of every quick record, and whether it stands for a copy yet.
  std::vector<std::pair<uint64_t, std::size_t>> quick;
  for (std::size_t i = first; i < all.size(); ++i) {
    if (IsFileOf(all[i], FsKind::kFatQuick)) quick.emplace_back(EntryHash(all[i]), i);
  }
  if (quick.empty()) return;
  std::sort(quick.begin(), quick.end());
  std::vector<bool> taken(quick.size(), false);

  std::vector<bool> drop(all.size() - first, false);
  bool any = false;
  for (std::size_t i = first; i < all.size(); ++i) {
    if (!IsFileOf(all[i], FsKind::kFatFormatted)) continue;
    const uint64_t hash = EntryHash(all[i]);
    auto it = std::lower_bound(quick.begin(), quick.end(), std::make_pair(hash, std::size_t{0}));
    for (; it != quick.end() && it->first == hash; ++it) {
      const std::size_t slot = static_cast<std::size_t>(it - quick.begin());
      if (!taken[slot] && SameEntry(all[it->second], all[i])) {
        taken[slot] = true;
        drop[i - first] = true;
        any = true;
        break;
      }
    }
  }
  if (!any) return;
  std::size_t kept = first;
  for (std::size_t i = first; i < all.size(); ++i) {
    if (!drop[i - first]) all[kept++] = all[i];
  }
  all.resize(kept);
}

}  // namespace vexlo
