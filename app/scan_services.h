// The scan window's services backed by the engine factory and the scan
// history: the engine for a source and a mode, a fresh scan-log folder for
// a quick scan, the question whether a formatted or deep scan can go on
// where an earlier one of the same unchanged source stopped, and the scan-log
// folder of a quick scan.
#pragma once

#include "engine/scan_history.h"
#include "scan_process_wnd.h"

// `history` must outlive the services and every engine they create.
ScanServices MakeEngineScanServices(vexlo::ScanHistory &history);
