#include "filesystems/ntfs/store_record.h"

#include <cstdio>
#include <string_view>

namespace vexlo::ntfs {

void SetTimes(const FileRecordSummary& summary, FoundFileRecord* record) {
  const bool standard = summary.has_standard_times;
  record->created = standard ? summary.standard_times.created : summary.name.created;
  record->modified = standard ? summary.standard_times.modified : summary.name.modified;
  record->accessed = standard ? summary.standard_times.accessed : summary.name.accessed;
}

ErrorCode StoreRecord(ScanResultStore& store, FoundFileRecord image, uint32_t number,
                      const RecordPlace& place, RecordNumber* added) {
  FoundFileRecord* slot = nullptr;
  if (ErrorCode rc = store.NewRecord(&slot); !rc.ok()) return rc;
  image.record_number = slot->record_number;
  image.source_id = place.source_id;
  image.fs_kind = static_cast<uint32_t>(place.fs_kind);
  image.key = number;
  image.cluster_bytes = place.cluster_bytes;
  image.entry_sector = place.entry_sector;
  image.partition_start = place.partition_start;
  *slot = image;
  *added = image.record_number;
  return err::kSuccess;
}

ErrorCode StoreLostFolder(ScanResultStore& store, uint32_t number, bool deleted,
                          const RecordPlace& place) {
  FoundFileRecord folder = EmptyRecord();
  folder.is_folder = 1;
  folder.deleted = deleted ? 1 : 0;
  folder.content_check = 1;
  char name[32];
  std::snprintf(name, sizeof name, "LostFolder%u", number);
  folder.SetName(name);
  RecordNumber added = 0;
  if (ErrorCode rc = StoreRecord(store, folder, number, place, &added); !rc.ok()) return rc;
  return store.Relate(MakeFolderKey(kRootRecord, 0), added, number, std::string_view(name));
}

}  // namespace vexlo::ntfs
