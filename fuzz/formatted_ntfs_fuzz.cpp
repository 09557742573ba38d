// Mutated media through the formatted NTFS engine (see
// formatted_engine_fuzz.h): FILE records are found wherever they lie, none is
// made here, and whatever run lists and record numbers they claim, locating
// a record's data must stay inside the medium.
#include "fuzz/formatted_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vexlo::fuzzing::RunFormattedEngine<vexlo::CProfessionalNtfsRecovery>(
      "formatted_ntfs_fuzz", data, size, 8192,
      [](vexlo::CProfessionalNtfsRecovery& engine, const vexlo::FoundFileRecord& record) {
        uint64_t first = 0;
        (void)engine.FirstDataSector(record, &first);
      });
}
