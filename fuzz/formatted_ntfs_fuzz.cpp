// Feeds a mutated medium, sector by sector, to the formatted NTFS engine the
// way the formatted scan routes sectors, then lists, paths, previews and
// locates the data of what it found: every step must end and stay inside the
// medium, whatever run lists and record numbers the records claim.
//
// Input: the medium itself, 512-byte sectors (the last one padded), at most
// 2 MiB. FILE records are found wherever they lie; none is made here.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/scan_history.h"
#include "filesystems/ntfs/file_record_sector.h"
#include "filesystems/ntfs/professional_ntfs_recovery.h"
#include "platform/log.h"
#include "platform/sector_source.h"

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kMaxMedium = 2u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path home = [] {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("formatted_ntfs_fuzz_" + std::to_string(getpid()));
    vexlo::platform::SetLogSilenced(true);
    return folder;
  }();
  static vexlo::ScanHistory history(home / "ScanLog");
  if (size == 0 || size > kMaxMedium) return 0;
  std::vector<uint8_t> medium(data, data + size);
  medium.resize((size + kSector - 1) / kSector * kSector + 8192, 0);

  vexlo::DiskHandle disk;
  if (!vexlo::OpenDiskFromSource(std::make_unique<vexlo::platform::MemorySectorSource>(medium),
                                 &disk)
           .ok()) {
    return 0;
  }
  history.BeginNewScan();
  const auto folder = history.CurrentFolder();
  {
    vexlo::CProfessionalNtfsRecovery engine(history);
    const uint64_t sectors = disk.total_sectors;
    const uint32_t record_bytes = vexlo::ntfs::FileRecordBytes(kSector);
    if (engine.OpenOnDisk(std::move(disk), 0, sectors, 1).ok() && engine.Begin(nullptr).ok()) {
      for (uint64_t s = 0; s + record_bytes / kSector <= sectors; ++s) {
        const std::span<const uint8_t> sector(&medium[s * kSector], kSector);
        if (vexlo::ntfs::IsFileRecordSector(sector, kSector) &&
            !vexlo::ntfs::IsDirectoryRecord(sector)) {
          (void)engine.FileRecord(std::span<const uint8_t>(&medium[s * kSector], record_bytes), s);
        }
      }
      (void)engine.Finish();
      std::vector<vexlo::FoundFileRecord> found;
      (void)engine.FindFiles("*.txt|*.jpg|.other", &found);
      std::vector<uint8_t> buffer(4096);
      for (std::size_t i = 0; i < found.size() && i < 64; ++i) {
        std::string path;
        (void)engine.GetFullPath(found[i], &path);
        uint64_t first = 0;
        (void)engine.FirstDataSector(found[i], &first);
        uint32_t count = static_cast<uint32_t>(buffer.size());
        if (found[i].Name().ends_with(".txt")) {
          (void)engine.ExtractForPreview(found[i], &path, buffer.data(), &count, nullptr, nullptr);
        }
      }
      std::vector<vexlo::FoundFileRecord> root;
      (void)engine.ListFolder(nullptr, 0, &root);
      uint32_t files = 0;
      (void)engine.CountFiles(nullptr, 0, &files);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}
