// An NTFS volume opened for reading: its geometry, the map of the Master File
// Table and the reads that follow it (records by number, a file's data runs
// through its attribute list, clusters).
//
// Shared by the quick and the formatted NTFS engines. The volume reads
// through a DiskHandle that its owner keeps open; every position is a byte
// offset on that disk, read in the disk's own sectors, so volumes whose
// sectors or records are smaller or larger than the device's are read
// alike. Used by one thread at a time.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "filesystems/ntfs/boot_sector.h"
#include "filesystems/ntfs/file_record.h"
#include "ondisk/ntfs_data_runs.h"
#include "platform/error_code.h"
#include "storage/sector_io.h"

namespace vexlo::ntfs {

// Codes of the NTFS reads besides the system's.
inline constexpr int32_t kNoFileSignature = -1;
inline constexpr int32_t kAttributeNotFound = -100;

// The largest non-resident attribute list read; real lists of even very
// fragmented files stay far below it.
inline constexpr uint64_t kMaxAttributeListBytes = 1u << 20;

class NtfsVolume {
 public:
  // Reads the boot sector at `partition_start` (in the disk's sectors) and
  // the run list of the $MFT from record 0, following its attribute list.
  // 1785 when the boot sector is not NTFS or the $MFT cannot be mapped.
  ErrorCode Open(DiskHandle* disk, uint64_t partition_start, uint64_t partition_sectors);

  const NtfsGeometry& geometry() const { return geometry_; }
  uint64_t partition_start() const { return partition_start_; }
  uint64_t volume_clusters() const { return volume_clusters_; }
  std::span<const DataRun> mft_runs() const { return mft_runs_; }
  // Records that the $MFT's data holds.
  uint64_t mft_record_count() const { return mft_record_count_; }
  DiskHandle* disk() const { return disk_; }

  // Byte offset on the disk of record `number`; false beyond the MFT or
  // when the record straddles two runs (it is then read piecewise).
  bool RecordOffset(uint64_t number, uint64_t* byte_offset) const;
  // Sector of the record on the disk, counted in the volume's sectors.
  uint64_t RecordSector(uint64_t number) const;
  // Byte offset on the disk of volume cluster `cluster`.
  uint64_t ClusterOffset(uint64_t cluster) const;

  // Reads record `number` into `record` (record_bytes long) and applies the
  // fix-up. kNoFileSignature when it is not a FILE record or its fix-up
  // does not fit.
  ErrorCode ReadRecord(uint64_t number, std::span<uint8_t> record);

  // Reads bytes at a byte offset on the disk. 87 beyond the disk, 30 when
  // nothing came.
  ErrorCode ReadBytes(uint64_t byte_offset, std::span<uint8_t> out);

  // The data runs of the unnamed data stream of record `number`, summarised
  // in `base`, and the stream's size. With an attribute list the pieces are
  // collected from every record the list names, in order of their first
  // cluster in the stream; pieces that do not continue the stream (repeated
  // entries, entries that name the list's own record twice, records since
  // reused) are passed over. A resident stream gives no runs. 87 when the
  // runs are damaged or leave the volume; kAttributeNotFound without a data
  // stream.
  ErrorCode ResolveData(const FileRecordSummary& base, uint64_t number, std::vector<DataRun>* runs,
                        uint64_t* size);

  // Reads all of the data described by `runs` (at most `max_bytes`) into
  // `out`. Used for attribute lists and the $Bitmap.
  ErrorCode ReadRunData(std::span<const DataRun> runs, uint64_t max_bytes,
                        std::vector<uint8_t>* out);

 private:
  ErrorCode AppendPiece(const FileRecordSummary& holder, uint64_t* next_vcn,
                        std::vector<DataRun>* runs, uint64_t* size);
  ErrorCode MapMft(std::span<uint8_t> record0);

  DiskHandle* disk_ = nullptr;
  NtfsGeometry geometry_;
  uint64_t partition_start_ = 0;
  uint64_t partition_bytes_ = 0;
  uint64_t volume_clusters_ = 0;
  std::vector<DataRun> mft_runs_;
  uint64_t mft_record_count_ = 0;
  std::vector<uint8_t> extension_record_;
  std::vector<uint8_t> bounce_;
};

}  // namespace vexlo::ntfs
