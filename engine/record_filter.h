// Which found files a user wants: by name, size, modified time, deleted state
// and content check. The command line's options and the results page's filter
// bar both fill one of these, so that both choose files alike.
//
// Every condition that is set must hold (an empty filter keeps every file);
// of several name patterns any one may match. Bounds are inclusive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"

namespace vexlo {

struct RecordFilter {
  // Shell patterns (engine/name_pattern.h). One without "/" is matched
  // against the name; one with "/" against the folder path followed by the
  // name ("DCIM/100CANON/IMG_0001.JPG"), a leading "/" being optional.
  std::vector<std::string> name_patterns;
  std::optional<uint64_t> min_size;  // bytes
  std::optional<uint64_t> max_size;  // bytes
  // FILETIME, as the medium keeps the modified time (no time-zone shift).
  // Files without a modified time fail either bound.
  std::optional<uint64_t> modified_after;
  std::optional<uint64_t> modified_before;
  bool deleted_only = false;
  bool intact_only = false;  // the content check passed

  bool Empty() const;
  // Whether a pattern needs the folder path; when none does, Matches may be
  // given an empty one and the engine need not be asked for it.
  bool NeedsFolderPath() const;
  // Whether the stored record alone decides, so that a scan can count the
  // files kept while it finds them: neither the folder path nor the content
  // check (judged only when the files are listed) is asked for.
  bool DecidedByRecord() const;
  // `folder_path` as the engine's GetFullPath gives it: the folders from the
  // root down, each followed by "/".
  bool Matches(const FoundFileRecord& file, std::string_view folder_path) const;
};

// "4096", "10k", "4M", "1G", "2T" (also "10K", "4MB", "4MiB"): multiples of
// 1024. False for anything else, or a size beyond 64 bits.
bool ParseSizeText(std::string_view text, uint64_t* bytes);

enum class TimeBoundKind { kLower, kUpper };

// "2024-05-01", "2024-05-01T10:30" or "2024-05-01T10:30:15" (a space in place
// of the "T" too) as a FILETIME. A lower bound is the first instant of what
// was typed; an upper bound the last, so that a date as the upper bound keeps
// the whole of that day, and "10:30" the whole of that minute. False for
// anything else, or an impossible date or time.
bool ParseTimeBound(std::string_view text, TimeBoundKind kind, uint64_t* filetime);

}  // namespace vexlo
