// The quick-mode (deleted-file) engine of NTFS volumes and images.
//
// A scan reads the Master File Table through the data runs of its own record,
// 1,024 records per read, and records every FILE record that is neither in
// use nor a directory: a deleted file, named by its long name, with its size,
// times and a test of its first sector against its extension. The folders on
// the paths of those files are recorded afterwards; a folder whose record has
// since been reused for something else becomes "LostFolder<n>" directly below
// the root, so that what lay in it stays reachable. Records 0-11, the volume's
// own files, are never listed.
//
// Records are keyed by their position in the MFT. Results live in the
// engine's ScanResultStore (record file "Fast_..."), and the queries answer
// from it (store_backed_engine.h). Copy-out reads resident data from the
// record and non-resident data through the runs of the data stream,
// attribute lists included; holes read as zeros.
//
// Threading: one thread at a time; callbacks run on the calling thread.
// Errors: codes of platform/error_code.h; nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "carving/formats/carving_state.h"
#include "engine/store_backed_engine.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/ntfs/store_record.h"

namespace vexlo {

// Records read per MFT read call during a scan.
inline constexpr uint32_t kNtfsScanBatchRecords = 1024;

class CFastNtfsRecovery final : public StoreBackedEngine {
 public:
  explicit CFastNtfsRecovery(ScanHistory& history);
  ~CFastNtfsRecovery() override;

  ErrorCode Scan(const std::string* earlier_record_file) override;
  int32_t NextFreeRange(uint64_t* sector, uint64_t* length_sectors) override;
  ErrorCode BuildUsedClusterBitmap() override;

 private:
  ErrorCode AcceptSource() override;
  uint32_t RootKey() const override { return ntfs::kRootRecord; }
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;
  ErrorCode ScanMft();
  ErrorCode ScanRecord(uint64_t number, std::span<uint8_t> record);
  ErrorCode EmitFolder(uint32_t number);
  ErrorCode AddLostFolder(uint32_t number);
  ntfs::RecordPlace PlaceOf(uint32_t number);
  uint32_t LevelOf(uint64_t parent);
  void AddParent(uint32_t number);
  uint32_t ContentCheck(std::string_view name, const ntfs::FileRecordSummary& summary);
  ErrorCode ReportMftProgress(uint64_t sectors_done, uint64_t sectors_total);

  ntfs::NtfsVolume volume_;
  std::vector<uint8_t> batch_;
  std::vector<uint8_t> record_;
  std::vector<uint8_t> sector_;
  std::vector<ntfs::DataRun> runs_;

  // Folders on the paths of found files, in order of first appearance, and
  // the level of every folder met while climbing.
  std::vector<uint32_t> parent_list_;
  std::unordered_map<uint32_t, uint32_t> levels_;
  std::vector<uint32_t> chain_;

  std::vector<uint8_t> used_bitmap_;
  uint64_t bitmap_valid_bytes_ = 0;

  carving::CarvingState carving_state_;
};

}  // namespace vexlo
