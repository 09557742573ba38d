// Creating the engine for a source and a scan mode.
//
// The factory reads the first 16 KiB of the source, recognises NTFS, FAT or
// ext (storage/fs_detection.h) and creates:
//
//   type   quick mode (0)     formatted or deep mode (any other value)
//   FAT    CFastFatRecovery   CProfessionalRecovery
//   NTFS   CFastNtfsRecovery  CProfessionalRecovery
//   exFAT  CFastExFatRecovery CProfessionalRecovery
//   ext    CFastExtRecovery   CProfessionalRecovery
//   other  none               CProfessionalRecovery
//
// then opens it on the source; the open result is not examined (an engine
// that could not open its source finds nothing). A probe that cannot be read
// whole (an unreadable sector near the start of a failing card) recognises
// nothing: the medium is "other", which only the deep scan can read. A
// source that cannot be opened, or a type without an engine for the mode,
// gives none.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "platform/disk_table.h"
#include "storage/fs_detection.h"

namespace vexlo {

inline constexpr int32_t kQuickScanMode = 0;
inline constexpr int32_t kFormattedScanMode = 1;

// The engines keep their logs in `history`'s scan folders and the driver
// records its scans there; `history` must outlive the engine.

// A partition of whole disk `disk_number` (the whole disk when it spans it).
std::unique_ptr<IFileRecoveryParse> CreateEngineForPartition(
    ScanHistory& history, uint32_t disk_number, uint64_t first_sector, uint64_t sector_count,
    uint16_t source_id, int32_t scan_mode, const platform::SysfsRoots& roots = {});

// An image file that is one volume from its first sector on.
std::unique_ptr<IFileRecoveryParse> CreateEngineForImage(ScanHistory& history,
                                                         const std::filesystem::path& image_path,
                                                         uint16_t source_id, int32_t scan_mode);

// A partition of an image file (in 512-byte sectors; see ReadImageLayout).
std::unique_ptr<IFileRecoveryParse> CreateEngineForImage(ScanHistory& history,
                                                         const std::filesystem::path& image_path,
                                                         uint64_t first_sector,
                                                         uint64_t sector_count, uint16_t source_id,
                                                         int32_t scan_mode);

// The file-system type of a partition or image, from its probe; kOther when
// the source cannot be read (the caller decides what that means).
FileSystemType ProbePartitionType(uint32_t disk_number, uint64_t first_sector,
                                  const platform::SysfsRoots& roots = {});
FileSystemType ProbeImageType(const std::filesystem::path& image_path, uint64_t first_sector = 0);

}  // namespace vexlo
