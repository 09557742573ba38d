// The formatted-recovery engine of FAT: rebuilds folders and files from FAT
// directory sectors found anywhere on a medium, for volumes that were
// formatted over or lost their boot sector and FAT.
//
// The formatted-recovery driver reads the medium once, in ascending sector
// order, and feeds this engine:
//   Begin(name or none)   a new scan (a new "Pro_Fat_..." store in the current
//                         scan folder), or, with the name of an earlier scan's
//                         record file, that scan's results and nothing else;
//   Seed()                the partition's boot sector, when it survived, as
//                         the first cluster layout;
//   DirectoryStart(...)   every sector for which IsDirectoryStartSector holds;
//   DirectoryData(...)    every other sector that IsFatDirectorySector accepts;
//   Finish()              once, after the last sector.
// Sector numbers are absolute sectors of the source, counted in
// sector_bytes(). The rebuilding itself is FatDirectoryRebuilder's; every file
// entry found is recorded, deleted or not (fs_kind 3).
//
// The FAT is never read, so a file's data are taken as the clusters that
// follow its first one: exact for contiguous files, the following clusters of
// the medium for fragmented ones.
//
// The source is opened read-only. Threading: one thread at a time; nothing
// throws; errors are codes of platform/error_code.h.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/contiguous_read.h"
#include "filesystems/fat/directory_rebuilder.h"
#include "filesystems/formatted_scan_engine.h"

namespace vexlo {

class CProfessionalFatRecovery final : public FormattedScanEngine {
 public:
  explicit CProfessionalFatRecovery(ScanHistory& history);

  // --- the scan, as the driver feeds it (see above)
  ErrorCode Begin(const std::string* earlier_record_file);
  // Reads the partition's first 4 KiB; a FAT boot sector there gives the
  // first cluster layout and the root cluster. A failed read returns its
  // code; anything else that is not a FAT boot sector changes nothing.
  ErrorCode Seed();
  void DirectoryStart(std::span<const uint8_t> sector, uint64_t sector_number);
  void DirectoryData(std::span<const uint8_t> sector, uint64_t sector_number);
  // Places what is left and writes the folders; the store's first error.
  ErrorCode Finish();

  const fat::FatDirectoryRebuilder& rebuilder() const { return rebuilder_; }

 private:
  ErrorCode AcceptSource() override;
  // Where a file record's data lie: `size` bytes from its first cluster on.
  ErrorCode DataExtent(const FoundFileRecord& record, ContiguousExtent* extent) const;
  ErrorCode CheckRecordData(const FoundFileRecord& record) override;
  ErrorCode ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                           const RecordDataSink& sink) override;

  fat::FatDirectoryRebuilder rebuilder_;
};

}  // namespace vexlo
