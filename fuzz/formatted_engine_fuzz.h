// The body of the fuzz targets of the formatted engines: a mutated medium,
// served from memory in 512-byte sectors (the last one padded, at most
// 2 MiB), is fed to the engine sector by sector through the formatted scan's
// own router, so that the engine sees just what a scan would hand it; then
// what it found is searched, listed, counted, given its path and previewed.
// Every step must end and stay inside the medium and the engine's bounds.
// Scan logs go to a private folder emptied after each input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "engine/scan_history.h"
#include "filesystems/fat/professional_fat_recovery.h"
#include "filesystems/ntfs/professional_ntfs_recovery.h"
#include "ondisk/ntfs_file_record.h"
#include "platform/log.h"
#include "platform/sector_source.h"
#include "recovery/sector_router.h"

namespace vexlo::fuzzing {

inline constexpr std::size_t kFormattedSector = 512;
inline constexpr std::size_t kFormattedMaxMedium = 2u << 20;

// Sector `s` of `medium`, as routed to the FAT engine.
inline void TakeRouted(CProfessionalFatRecovery& engine, SectorRoute route,
                       std::span<const uint8_t> medium, uint64_t s) {
  const auto sector = medium.subspan(s * kFormattedSector, kFormattedSector);
  if (route == SectorRoute::kFatDirectoryStart) engine.DirectoryStart(sector, s);
  if (route == SectorRoute::kFatDirectoryData) engine.DirectoryData(sector, s);
}

// Sector `s` of `medium`, routed to the NTFS engine, which takes a whole
// record from there when the medium holds it.
inline void TakeRouted(CProfessionalNtfsRecovery& engine, SectorRoute route,
                       std::span<const uint8_t> medium, uint64_t s) {
  const uint32_t record_bytes = ntfs::FileRecordBytes(kFormattedSector);
  if (route == SectorRoute::kNtfsFileRecord &&
      s * kFormattedSector + record_bytes <= medium.size()) {
    (void)engine.FileRecord(medium.subspan(s * kFormattedSector, record_bytes), s);
  }
}

// `examine(engine, record)` looks further at each record found. `tail_bytes`
// of zeros follow the medium, for records that run past it.
template <typename Engine, typename Examine>
int RunFormattedEngine(const char* tag, const uint8_t* data, size_t size, std::size_t tail_bytes,
                       const Examine& examine) {
  platform::SetLogSilenced(true);
  static ScanHistory history(std::filesystem::temp_directory_path() /
                             (std::string(tag) + "_" + std::to_string(getpid())) / "ScanLog");
  if (size == 0 || size > kFormattedMaxMedium) return 0;
  std::vector<uint8_t> medium(data, data + size);
  medium.resize((size + kFormattedSector - 1) / kFormattedSector * kFormattedSector + tail_bytes,
                0);

  DiskHandle disk;
  if (!OpenDiskFromSource(std::make_unique<platform::MemorySectorSource>(medium), &disk).ok()) {
    return 0;
  }
  history.BeginNewScan();
  const std::filesystem::path folder = history.CurrentFolder();
  {
    Engine engine(history);
    const uint64_t sectors = disk.total_sectors;
    if (engine.OpenOnDisk(std::move(disk), 0, sectors, 1).ok() && engine.Begin(nullptr).ok()) {
      // As the scan does, the FAT engine takes the partition's boot sector
      // before any other.
      if constexpr (requires { engine.Seed(); }) (void)engine.Seed();
      for (uint64_t s = 0; s < sectors; ++s) {
        TakeRouted(engine, RouteSector(medium.data() + s * kFormattedSector, kFormattedSector),
                   medium, s);
      }
      (void)engine.Finish();
      std::vector<FoundFileRecord> found;
      (void)engine.FindFiles("*.txt|*.jpg|.other", &found);
      std::vector<uint8_t> buffer(4096);
      for (std::size_t i = 0; i < found.size() && i < 64; ++i) {
        std::string path;
        (void)engine.GetFullPath(found[i], &path);
        examine(engine, found[i]);
        uint32_t count = static_cast<uint32_t>(buffer.size());
        if (found[i].Name().ends_with(".txt")) {
          (void)engine.ExtractForPreview(found[i], &path, buffer.data(), &count, nullptr, nullptr);
        }
      }
      std::vector<FoundFileRecord> root;
      (void)engine.ListFolder(nullptr, 0, &root);
      uint32_t files = 0;
      (void)engine.CountFiles(nullptr, 0, &files);
      for (const FoundFileRecord& record : root) {
        if (record.is_folder != 0) (void)engine.CountFiles(&record, 1, &files);
      }
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}

}  // namespace vexlo::fuzzing
