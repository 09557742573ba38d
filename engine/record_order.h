// The order in which found files are listed everywhere: files before folders,
// then by name with ASCII case folded, in byte order (the classic stricmp
// rule, so that lists look the same whichever engine produced them).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo {

bool NameLess(std::string_view a, std::string_view b);
bool RecordLess(const FoundFileRecord& a, const FoundFileRecord& b);

// Stable-sorts the records from index `first` to the end.
void SortRecords(std::vector<FoundFileRecord>* records, std::size_t first = 0);

}  // namespace vexlo
