// Mutated media through the formatted FAT engine (see formatted_engine_fuzz.h);
// the medium's first sectors are read as a boot sector by Seed().
#include "filesystems/fat/directory_geometry.h"
#include "filesystems/fat/fat_directory_sector.h"
#include "filesystems/fat/professional_fat_recovery.h"
#include "fuzz/formatted_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vexlo::fuzzing::kFormattedSector;
  return vexlo::fuzzing::RunFormattedEngine<vexlo::CProfessionalFatRecovery>(
      "formatted_fat_fuzz", data, size, 0,
      [](vexlo::CProfessionalFatRecovery& engine, std::span<const uint8_t> medium,
         uint64_t sectors) {
        (void)engine.Seed();
        for (uint64_t s = 0; s < sectors; ++s) {
          const auto sector = medium.subspan(s * kFormattedSector, kFormattedSector);
          if (vexlo::fat::IsDirectoryStartSector(sector.data(), sector.size())) {
            engine.DirectoryStart(sector, s);
          } else if (vexlo::fat::IsFatDirectorySector(sector.data(), sector.size())) {
            engine.DirectoryData(sector, s);
          }
        }
      },
      [](vexlo::CProfessionalFatRecovery&, const vexlo::FoundFileRecord&) {});
}
