// Where the program finds its resources and keeps its per-user files.
#pragma once

#include <filesystem>

namespace vexlo::platform {

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute.
std::filesystem::path DataHome();

// $XDG_CONFIG_HOME, or ~/.config.
std::filesystem::path ConfigHome();

// $XDG_RUNTIME_DIR, or /tmp.
std::filesystem::path RuntimeDir();

// The folder that holds the running executable (/proc/self/exe).
std::filesystem::path ProgramDir();

// The per-user folder of the application's data: DataHome()/VexloSdCardDataRecovery.
std::filesystem::path AppDataDir();

// Root of scan logs and scan history: AppDataDir()/ScanLog.
std::filesystem::path ScanLogRoot();

// A read-only resource ("config.ini", "Languages", "skin", "FileIcon"): the
// program's folder first, then ../share/vexlo-sd-recovery beside it. Returns
// the first candidate that exists, else the one in the program's folder.
std::filesystem::path ResourcePath(const std::filesystem::path& relative);

}  // namespace vexlo::platform
