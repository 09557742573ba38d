// Mutated media through the formatted FAT engine (see formatted_engine_fuzz.h);
// the medium's first sectors are read as a boot sector by Seed().
#include "fuzz/formatted_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vexlo::fuzzing::RunFormattedEngine<vexlo::CProfessionalFatRecovery>(
      "formatted_fat_fuzz", data, size, 0,
      [](vexlo::CProfessionalFatRecovery&, const vexlo::FoundFileRecord&) {});
}
