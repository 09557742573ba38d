// Mutated media through the formatted NTFS engine (see
// formatted_engine_fuzz.h): FILE records are found wherever they lie, none is
// made here, and whatever run lists and record numbers they claim, locating
// a record's data must stay inside the medium.
#include "filesystems/ntfs/file_record_sector.h"
#include "filesystems/ntfs/professional_ntfs_recovery.h"
#include "fuzz/formatted_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vexlo::fuzzing::kFormattedSector;
  return vexlo::fuzzing::RunFormattedEngine<vexlo::CProfessionalNtfsRecovery>(
      "formatted_ntfs_fuzz", data, size, 8192,
      [](vexlo::CProfessionalNtfsRecovery& engine, std::span<const uint8_t> medium,
         uint64_t sectors) {
        const uint32_t record_bytes = vexlo::ntfs::FileRecordBytes(kFormattedSector);
        for (uint64_t s = 0; s + record_bytes / kFormattedSector <= sectors; ++s) {
          const auto sector = medium.subspan(s * kFormattedSector, kFormattedSector);
          if (vexlo::ntfs::IsFileRecordSector(sector, kFormattedSector) &&
              !vexlo::ntfs::IsDirectoryRecord(sector)) {
            (void)engine.FileRecord(medium.subspan(s * kFormattedSector, record_bytes), s);
          }
        }
      },
      [](vexlo::CProfessionalNtfsRecovery& engine, const vexlo::FoundFileRecord& record) {
        uint64_t first = 0;
        (void)engine.FirstDataSector(record, &first);
      });
}
