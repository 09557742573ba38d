// Feeds the sectors of a medium to the formatted-recovery engines in
// ascending order, routed as the formatted scan routes them: FILE records
// (not directories) to the NTFS engine, directory starts and other directory
// sectors to the FAT engine. For tests of those engines without the driver,
// with the look-up and copy-out their checks share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filesystems/fat/professional_fat_recovery.h"
#include "filesystems/ntfs/professional_ntfs_recovery.h"
#include "ondisk/fat_directory_sector.h"
#include "ondisk/ntfs_file_record.h"
#include "platform/file.h"
#include "tests/support/record_listing.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {

struct FeedCounts {
  uint64_t file_records = 0;
  uint64_t directory_starts = 0;
  uint64_t directory_data = 0;
};

// Feeds `medium` (512-byte sectors) from sector `first` on, skipping the
// sectors in [skip_begin, skip_end). Either engine may be null.
inline FeedCounts FeedSectors(std::span<const uint8_t> medium, CProfessionalFatRecovery* fat,
                              CProfessionalNtfsRecovery* ntfs, uint64_t first = 0,
                              uint64_t skip_begin = 0, uint64_t skip_end = 0) {
  constexpr uint32_t kSector = 512;
  FeedCounts counts;
  const uint64_t sectors = medium.size() / kSector;
  const uint32_t record_bytes = ntfs::FileRecordBytes(kSector);
  for (uint64_t s = first; s < sectors; ++s) {
    if (s >= skip_begin && s < skip_end) continue;
    const auto sector = medium.subspan(s * kSector, kSector);
    if (ntfs::IsFileRecordSector(sector, kSector)) {
      if (ntfs != nullptr && !ntfs::IsDirectoryRecord(sector) &&
          medium.size() - s * kSector >= record_bytes) {
        (void)ntfs->FileRecord(medium.subspan(s * kSector, record_bytes), s);
        ++counts.file_records;
      }
    } else if (fat::IsDirectoryStartSector(sector.data(), sector.size())) {
      if (fat != nullptr) fat->DirectoryStart(sector, s);
      ++counts.directory_starts;
    } else if (fat::IsFatDirectorySector(sector.data(), sector.size())) {
      if (fat != nullptr) fat->DirectoryData(sector, s);
      ++counts.directory_data;
    }
  }
  return counts;
}

// Copies one file record out (into `dir`) and gives back the bytes written.
inline std::vector<uint8_t> RecoverBytes(IFileRecoveryParse& engine, const FoundFileRecord& record,
                                         const TempDir& dir) {
  const std::filesystem::path out = dir / "out.bin";
  EXPECT_EQ(engine.RecoverFile(record, out, 0), 0);
  std::string text;
  (void)platform::ReadWholeFile(out, &text);
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace vexlo::testing
