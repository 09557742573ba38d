// The formatted-recovery engine of NTFS: rebuilds files from FILE records
// found anywhere on a medium, without trusting the boot sector.
//
// The formatted-recovery driver reads the medium once, in ascending sector
// order, and feeds this engine:
//   Begin(name or none)  a new scan (a new "Pro_Ntfs_..." store in the current
//                        scan folder), or, with the name of an earlier scan's
//                        record file, that scan's results and nothing else;
//   FileRecord(...)      every sector that IsFileRecordSector accepts and that
//                        is not a directory, with at least FileRecordBytes()
//                        bytes from that sector on;
//   Finish()             once, after the last sector.
// Sector numbers are absolute, in sector_bytes().
//
// Every file record, in use or deleted, becomes a FoundFileRecord (fs_kind 2)
// keyed by its own record number. The runs of every $MFT record seen are kept
// (MftMap), so that each record is placed in the MFT it belongs to, which
// gives its volume's start and the places of its parent folders; several
// generations of MFT on one medium each place their own records. The cluster
// size is learnt from the records themselves (allocation / run lengths). At
// Finish the folders on the paths of the files are written, each from its own
// record, or as "LostFolder<n>" below the root when that record no longer
// describes a folder.
//
// Copy-out and preview read a record's data through its own runs, with the
// record's own partition_start and cluster_bytes, so they need nothing of
// the scan but the record. A record whose runs continue in an attribute list
// is read through the volume at its partition_start, whose MFT locates the
// records the list names, as long as that volume still has the record's
// cluster size; else only the runs of the record itself are read.
//
// The source is opened read-only. Threading: one thread at a time; nothing
// throws; errors are codes of platform/error_code.h.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "filesystems/formatted_scan_engine.h"
#include "filesystems/ntfs/file_record.h"
#include "filesystems/ntfs/mft_placement.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/ntfs/store_record.h"
#include "ondisk/ntfs_data_runs.h"

namespace vexlo {

class CProfessionalNtfsRecovery final : public FormattedScanEngine {
 public:
  explicit CProfessionalNtfsRecovery(ScanHistory& history);

  // --- the scan, as the driver feeds it (see above)
  ErrorCode Begin(const std::string* earlier_record_file);
  // One FILE record found at `sector_number`. 87 for a record whose header
  // does not hold together (it is skipped); the scan goes on either way.
  ErrorCode FileRecord(std::span<const uint8_t> record, uint64_t sector_number);
  // Writes the folders on the paths of the files found, then flushes.
  ErrorCode Finish();

  // The data runs of a file record (NTFS records of either engine), read
  // from its FILE record; none for resident data. Used to tell when a carved
  // file is one the file system already lists.
  ErrorCode RecordDataRuns(const FoundFileRecord& record, std::vector<ntfs::DataRun>* runs);
  // Absolute sector where the record's data begin; false when it has no
  // runs or begins with a hole.
  bool FirstDataSector(const FoundFileRecord& record, uint64_t* sector);

  uint32_t record_bytes() const;
  // Cluster size learnt so far, in sectors.
  uint32_t cluster_sectors() const { return cluster_sectors_; }
  const ntfs::MftMap& mft_map() const { return mft_map_; }

 private:
  struct Parent {
    uint32_t record;
    ntfs::MftPlacement placement;
  };

  ErrorCode AcceptSource() override;
  void LearnMft(const ntfs::FileRecordSummary& summary, uint64_t sector_number);
  void LearnClusterSize(std::span<const uint8_t> record, const ntfs::RecordHeader& header);
  uint32_t ContentCheck(std::string_view name, const ntfs::FileRecordSummary& summary,
                        const ntfs::MftPlacement& placement);
  uint32_t LevelOf(uint64_t parent, const ntfs::MftPlacement& placement);
  // Reads and fixes up the record at `sector_number` into `record_`.
  bool ReadRecordAt(uint64_t sector_number, ntfs::FileRecordSummary* summary);
  ErrorCode EmitFolder(const Parent& parent);
  ErrorCode AddLostFolder(uint32_t number, const ntfs::MftPlacement& placement);
  ntfs::RecordPlace PlaceOf(const ntfs::MftPlacement& placement, uint64_t entry_sector) const;
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;
  // The runs of the data stream of `record` (summarised in `summary`, which
  // has an attribute list) collected from every record the list names;
  // false when the volume cannot give them.
  bool ListedDataRuns(const FoundFileRecord& record, const ntfs::FileRecordSummary& summary,
                      std::vector<ntfs::DataRun>* runs);

  uint32_t cluster_sectors_ = 8;
  ntfs::MftMap mft_map_;
  std::vector<Parent> parents_;
  std::unordered_set<uint32_t> parent_records_;
  std::unordered_map<uint32_t, uint32_t> levels_;
  std::vector<uint32_t> chain_;

  // The volume that locates the records of attribute lists, opened at the
  // first copy-out that needs it.
  std::optional<ntfs::NtfsVolume> list_volume_;
  uint64_t list_volume_start_ = 0;
  bool list_volume_open_ = false;

  std::vector<uint8_t> work_;    // the record being processed, fixed up
  std::vector<uint8_t> record_;  // a record read from the medium
  std::vector<uint8_t> sector_;
  std::vector<ntfs::DataRun> runs_;
};

}  // namespace vexlo
