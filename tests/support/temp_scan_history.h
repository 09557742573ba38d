// A scan history of a test's own: the logs of what the test scans go into a
// temporary folder, removed with everything in it when the object goes. It
// must outlive every engine that keeps its logs there.
#pragma once

#include "engine/scan_history.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {

struct TempScanHistory {
  TempDir dir;
  ScanHistory history{dir / "ScanLog"};
};

}  // namespace vexlo::testing
