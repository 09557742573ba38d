// A running count of the files a scan's search will list.
//
// The records an engine keeps are not the files its search lists: folders,
// pictures whose data is overwritten, the types the search leaves out and,
// in a deep scan, files that two of its engines both found are kept but not
// listed. A front end that shows "files found" while scanning must show the
// number the list will then hold, so it tells an engine that can keep this
// count the type filter its search will use, before the scan: from then on
// the records_found of the engine's scan reports is that count.
//
// Threading and errors as for IFileRecoveryParse.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/file_recovery_parse.h"
#include "engine/record_filter.h"

namespace vexlo {

class ListedFileCounter {
 public:
  // Counts, from now on and into every store the engine opens later, the
  // file records that FindFiles(type_filter) would append.
  virtual void CountListedFiles(std::string_view type_filter) = 0;
  // That count now; 0 before CountListedFiles.
  virtual uint64_t ListedFileCount() = 0;
  // Narrows the count that the next CountListedFiles starts to the files
  // `chosen` keeps as well (a filter DecidedByRecord). False when the
  // engine cannot, and its count then follows the type filter alone.
  virtual bool CountOnlyChosen(const RecordFilter& chosen) {
    (void)chosen;
    return false;
  }

 protected:
  ~ListedFileCounter() = default;
};

// Asks `engine` to count for `type_filter` the files that `chosen` keeps too.
// False when it keeps no such count, and its reports' records_found then
// count every record it kept; false as well when it cannot leave out what
// `chosen` leaves out (its count then follows the type filter alone).
inline bool CountListedFiles(IFileRecoveryParse& engine, std::string_view type_filter,
                             const RecordFilter& chosen = {}) {
  auto* counter = dynamic_cast<ListedFileCounter*>(&engine);
  if (counter == nullptr) return false;
  const bool narrowed =
      chosen.Empty() || (chosen.DecidedByRecord() && counter->CountOnlyChosen(chosen));
  counter->CountListedFiles(type_filter);
  return narrowed;
}

}  // namespace vexlo
