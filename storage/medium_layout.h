// The partitions of a whole medium: a disk image file or a whole disk.
//
// An image of a card is a disk, not a volume: `dd if=/dev/sdb` copies its
// partition table with it. The table (MBR or GPT, read by libblkid, the
// medium opened read-only) lists the partitions, each then scanned as a
// partition of a disk is, through the medium at its first sector. A medium
// without a table is one partition that starts at its first sector and spans
// it whole, as a card formatted without a table is.
//
// Numbers are those of the table (sdb2 is partition 2); number 0 always
// means the whole medium, table or not, for a deep scan that must also see
// what lies between and behind the partitions. Partitions are clipped to the
// medium, as an image may have been cut short; one that starts behind its end
// is left out, and so is an MBR extended container (its logical partitions
// are listed themselves).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/disk_table.h"
#include "platform/error_code.h"

namespace vexlo {

// The number that names the whole medium.
inline constexpr uint32_t kWholeMedium = 0;

struct MediumPartition {
  uint32_t number = kWholeMedium;  // in the table; kWholeMedium for a medium without one
  uint64_t first_sector = 0;       // in the medium's sector size
  uint64_t sector_count = 0;
  uint8_t mbr_type = 0;     // MBR type byte; 0 on GPT and without a table
  std::string file_system;  // "FAT32", "exFAT", "NTFS" ...; empty when none is recognised
  std::string label;        // UTF-8; may be empty
};

struct MediumLayout {
  uint32_t sector_bytes = 512;  // the unit of the sector numbers below
  uint64_t total_sectors = 0;
  std::string table_type;                   // "dos" (MBR), "gpt"; empty without a table
  std::vector<MediumPartition> partitions;  // by first sector; never empty once read

  // The partition numbered `number`, the whole medium for kWholeMedium; none
  // when there is no such partition.
  std::optional<MediumPartition> Find(uint32_t number) const;
  // The whole medium as one partition.
  MediumPartition WholeMedium() const;
};

// Reads the layout of an image file, in 512-byte sectors as images are read.
ErrorCode ReadImageLayout(const std::filesystem::path& image, MediumLayout* layout);

// Reads the layout of whole disk `disk_number` of the disk table, in the
// disk's logical sector size. The table is read from the disk itself, so a
// disk whose partitions the kernel does not list (a loop device attached
// without partition scanning) is still seen whole.
ErrorCode ReadDiskLayout(uint32_t disk_number, MediumLayout* layout,
                         const platform::SysfsRoots& roots = {});

}  // namespace vexlo
