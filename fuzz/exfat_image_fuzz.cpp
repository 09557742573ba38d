// Mutated exFAT images through the quick engine (see quick_engine_fuzz.h).
#include "filesystems/exfat/fast_exfat_recovery.h"
#include "fuzz/quick_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vexlo::fuzzing::RunQuickEngine<vexlo::CFastExFatRecovery>("exfat_fuzz", data, size);
}
