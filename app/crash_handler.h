// Crash reports.
//
// A fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) writes a report
// into "D-Error/" below the current folder, named after the local time
// ("2026-3-3&9-5-7.dmp"): the signal, the stack as symbols, and the memory
// map of the process, so that the addresses can be resolved later. The
// signal is then raised again, so the process still ends as it would have.
#pragma once

#include <ctime>
#include <string>

// The report's file name for a local time: "%d-%d-%d&%d-%d-%d.dmp".
std::string CrashDumpFileName(const std::tm &localTime);

// Installs the handlers, on an alternate stack so that a stack overflow is
// reported too. Call once, early in main().
void InstallCrashHandler();
