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
// The engine owns its CarvingState (buffers allocated once), its store and
// its source handle. Threading: one thread at a time, no locks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "carving/formats/carving_state.h"
#include "carving/identification.h"
#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "engine/scan_result_store.h"
#include "storage/sector_io.h"

namespace vexlo {

class CFileTypeRecovery final : public IFileRecoveryParse {
 public:
  explicit CFileTypeRecovery(ScanHistory& history);

  // A new store named "File_Type_0_<time>" in the current scan folder.
  ErrorCode OpenImage(const std::filesystem::path& image_path, uint16_t source_id) override;
  // The whole disk, read at absolute sectors; the log name carries the
  // partition's first sector.
  ErrorCode OpenPartition(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                          uint16_t source_id) override;
  ErrorCode SetProgressCallbacks(ScanProgressCallback scan, RecoveryProgressCallback recovery,
                                 void* user, int32_t scale) override;
  // Does nothing: carving runs inside the formatted-recovery driver.
  ErrorCode Scan(const std::string* earlier_record_file) override;
  // Only the root (all carved files); a folder or a level lists nothing.
  ErrorCode ListFolder(const FoundFileRecord* folder, uint32_t level,
                       std::vector<FoundFileRecord>* out) override;
  ErrorCode CountFiles(const FoundFileRecord* folder, uint32_t level, uint32_t* count) override;
  uint64_t GetRecordCount() override;
  // Carved files have no folders: nothing is written.
  ErrorCode GetFullPath(const FoundFileRecord& record, std::string* path) override;
  // Copies `size` bytes from the record's start sector.
  ErrorCode RecoverFile(const FoundFileRecord& record, const std::filesystem::path& destination,
                        uint32_t root_separator_count) override;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) override;
  ErrorCode SetSearchCallback(SearchProgressCallback callback, void* user) override;
  ErrorCode FindFiles(std::string_view type_filter, std::vector<FoundFileRecord>* out) override;
  ErrorCode BuildUsedClusterBitmap() override;
  // Documents and archives go to a file of their own name in the scan-log
  // root, audio and video to "tmp.avi", pictures to "tmp.jpg"; anything else
  // (or a path that would be too long) into `buffer`.
  ErrorCode ExtractForPreview(const FoundFileRecord& record, std::string* path, uint8_t* buffer,
                              uint32_t* byte_count, PreviewProgressCallback callback,
                              void* user) override;
  ~CFileTypeRecovery() override;

  // The carving step. `source` is the medium being carved (the driver's own
  // handle); `sector_number` is absolute on it. Returns 0 when a file was
  // recorded (*skip_count sectors from this one are then covered), 87 when
  // none starts here (*skip_count 1), kCancelCode when the user cancelled
  // during a length search (the file is still recorded). Another code is a
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
  void SetHandledElsewhere(carving::MetadataTest test) { state_.handled_elsewhere = test; }

  // Carves sectors [first_sector, first_sector + sector_count) of the
  // engine's own source, reporting progress per 64 KiB read. Unreadable
  // stretches are passed over. No sector is read twice: the walk and the
  // length searches share what they read. Returns 0 or kCancelCode.
  ErrorCode CarveRange(uint64_t first_sector, uint64_t sector_count);

  // Open only the source, leaving the store to OpenStore: the formatted-recovery
  // driver decides the log's folder and name (a new one, or a continued scan's).
  ErrorCode OpenSource(const std::filesystem::path& image_path, uint16_t source_id);
  ErrorCode OpenSource(uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
                       uint16_t source_id);

  // Opens the store on `record_file_name` in `folder` (a continued scan
  // reloads its earlier results this way).
  ErrorCode OpenStore(const std::filesystem::path& folder, const std::string& record_file_name);

  // Forgets the transport streams of an earlier scan; every scan starts so.
  void BeginScan() { state_.ResetForScan(); }

  void set_sector_bytes(uint32_t sector_bytes) { sector_bytes_ = sector_bytes; }
  uint32_t sector_bytes() const { return sector_bytes_; }
  DiskHandle& disk() { return disk_; }
  carving::CarvingState& carving_state() { return state_; }

 private:
  ErrorCode OpenNewStore(uint64_t log_start_sector);

  ScanHistory& history_;
  uint16_t source_id_ = 0;
  uint64_t partition_start_ = 0;
  uint64_t partition_sectors_ = 0;
  uint32_t sector_bytes_ = 512;
  DiskHandle disk_;
  std::unique_ptr<ScanResultStore> store_;
  int32_t progress_scale_ = 100;
  ScanProgressCallback scan_callback_ = nullptr;
  RecoveryProgressCallback recovery_callback_ = nullptr;
  void* user_ = nullptr;
  SearchProgressCallback search_callback_ = nullptr;
  void* search_user_ = nullptr;
  carving::CarvingState state_;
};

}  // namespace vexlo
