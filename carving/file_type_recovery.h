// The carving engine: finds files by their content alone.
//
// At a given sector it decides, through the signature table, whether a known
// format begins there; if so it measures the file, records it in its store
// as "<start sector>.<extension>" (one flat list, no folders) and tells the
// caller how many sectors to skip. It does not walk a medium by itself in a
// scan: the formatted-recovery driver reads the medium and hands every sector
// that is not file-system metadata to CarveSector. CarveRange runs the same
// carving over a stretch of the engine's own source, for standalone use.
//
// Carved files have no folders: every record sits in the root, a listing
// that names a folder or a level lists nothing, and no path leads to one
// (store_backed_engine.h answers the queries).
//
// The engine owns its CarvingState (buffers allocated once), its store and
// its source handle. Threading: one thread at a time, no locks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carving/formats/carving_state.h"
#include "carving/identification.h"
#include "engine/store_backed_engine.h"

namespace vexlo {

class CFileTypeRecovery final : public StoreBackedEngine {
 public:
  // An open places the source and opens a new store, named
  // "File_Type_<first sector>_<time>", in the current scan folder. The whole
  // disk is read, at absolute sectors.
  explicit CFileTypeRecovery(ScanHistory& history);
  ~CFileTypeRecovery() override;

  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) override;
  // Does nothing: carving runs inside the formatted-recovery driver.
  ErrorCode Scan(const std::string* earlier_record_file) override;

  // The carving step. `source` is the medium being carved (the driver's own
  // handle); `sector_number` is absolute on it. Returns 0 when a file was
  // recorded (*skip_count sectors from this one are then covered), 87 when
  // none starts here (*skip_count 1), kCancelCode when the user cancelled
  // during a length search (the file is still recorded with the length
  // reached, and the carving state is left as it was before this sector, for
  // a continued scan to measure the file again here). Another code is a
  // failure of the store.
  ErrorCode CarveSector(uint32_t sector_bytes, const uint8_t* sector, std::size_t length,
                        uint64_t sector_number, const carving::ProgressPoint& progress,
                        DiskHandle& source, uint64_t* skip_count, uint64_t* found_count);

  // Where a walk over the medium goes on after CarveSector recorded a file
  // at `sector_number` with `skip_count`: behind the file, or further when
  // the file's length search already examined the sectors behind it and the
  // walk would have found nothing there. The carving state is then left as
  // those sectors' identifications would have left it.
  uint64_t ResumeSector(uint64_t sector_number, uint64_t skip_count);

  // Tells the length searches which sectors the walk gives to other
  // handlers (none: carving sees every sector). `test` is asked only about
  // sectors that are no file-system metadata to carving.
  void SetHandledElsewhere(carving::MetadataTest test) { state_.SetHandledElsewhere(test); }

  // Carves sectors [first_sector, first_sector + sector_count) of the
  // engine's own source, reporting progress per 64 KiB read. Unreadable
  // sectors are passed over one by one. No sector is read twice: the walk
  // and the length searches share what they read. Returns 0 or kCancelCode.
  ErrorCode CarveRange(uint64_t first_sector, uint64_t sector_count);

  // Opens the store of a new scan, or with `earlier_record_file` that of an
  // earlier scan (a continued scan reloads its results this way), and
  // forgets the transport streams of an earlier scan: every scan starts so.
  // The formatted-recovery driver opens the source alone (OpenSource) and
  // then this.
  ErrorCode StartScan(const std::string* earlier_record_file);

  // A continued scan goes on at `sector_number` with the carving state that
  // the interrupted one saved. When it stopped inside the length search of
  // the file that starts there, that file (the store's last record, kept
  // with the length reached) is measured again from its start and its record
  // rewritten in place, so the results equal those of a scan that was never
  // interrupted.
  void ContinueAt(uint64_t sector_number, const carving::StreamHistory::Flags& flags);

  void set_sector_bytes(uint32_t sector_bytes) { sector_bytes_ = sector_bytes; }
  uint32_t sector_bytes() const { return sector_bytes_; }
  carving::CarvingState& carving_state() { return state_; }

 private:
  // Carved files lie in consecutive sectors from their start sector.
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;
  // The carved bytes that lie in the known bad areas of an image.
  uint64_t UnreadableBytes(const FoundFileRecord& record) const override;
  // The record of a file whose length search a cancel cut short, to be
  // measured again when the continued walk reaches its start.
  struct Remeasure {
    uint64_t entry_sector;
    RecordNumber number;
  };

  uint32_t sector_bytes_ = 512;
  carving::CarvingState state_;
  std::optional<Remeasure> remeasure_;
};

}  // namespace vexlo
