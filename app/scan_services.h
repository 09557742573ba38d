// The scan window's services backed by the engine factory and the scan
// history: the engine for a source and a mode, a fresh scan-log folder for
// a quick scan, and the question whether a formatted or deep scan can go on
// where an earlier one of the same unchanged source stopped.
#pragma once

#include <QString>

#include "scan_process_wnd.h"

ScanServices MakeEngineScanServices();

// The folder the last quick scan wrote its record files into.
QString CurrentScanLogFolder();

// Deletes a quick scan's folder of record files (and its history entries).
void RemoveScanLog(const QString &folder);
