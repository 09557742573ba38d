// How both NTFS engines file an MFT record in their store. The quick engine
// reads records where the MFT says they are, the formatted one where it found
// them on the medium; what goes into the store record is the same, so that
// the views, the copy-out and the merge of the two treat them alike.
//
// Threading: as the store's.
#pragma once

#include <cstdint>

#include "engine/found_file_record.h"
#include "engine/scan_result_store.h"
#include "filesystems/ntfs/file_record.h"
#include "platform/error_code.h"

namespace vexlo::ntfs {

// Where an MFT record was found, as its store record keeps it.
struct RecordPlace {
  uint16_t source_id = 0;
  FsKind fs_kind = FsKind::kNtfsQuick;
  int32_t cluster_bytes = 0;
  uint64_t entry_sector = 0;
  uint64_t partition_start = 0;
};

// Times shown for a record: the standard information's, which the file
// system keeps current, else the file name's, which change only on rename.
void SetTimes(const FileRecordSummary& summary, FoundFileRecord* record);

// Files `image` (name, times, size and flags) as MFT record `number` found at
// `place`; its number in the store goes to *added.
ErrorCode StoreRecord(ScanResultStore& store, FoundFileRecord image, uint32_t number,
                      const RecordPlace& place, RecordNumber* added);

// Files a folder whose own record is lost as "LostFolder<number>" below the
// root, where the files that name it as their parent can still be reached.
ErrorCode StoreLostFolder(ScanResultStore& store, uint32_t number, bool deleted,
                          const RecordPlace& place);

}  // namespace vexlo::ntfs
