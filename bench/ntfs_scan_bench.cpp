// Quick-scan speed on an NTFS image of 22,000 MFT records (200 folders of
// 100 files, 5,000 of the files deleted by ntfs-3g itself), beside The Sleuth
// Kit's `fls -r -d` on the same image. Prints MFT records per second and both
// times. Needs mkntfs, an ntfs-3g (FUSE) mount and fls.
//
//   ntfs_scan_bench [work folder]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/file_system_bench.h"
#include "engine/scan_history.h"
#include "filesystems/ntfs/fast_ntfs_recovery.h"

namespace {

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;
constexpr int kDeletedPerFolder = 25;

using vexlo::bench::Clock;
using vexlo::bench::Run;
using vexlo::bench::SecondsSince;

bool BuildImage(const std::filesystem::path& work, const std::filesystem::path& image) {
  const std::string img = "'" + image.string() + "'";
  const std::filesystem::path mount = work / "mnt";
  std::filesystem::remove(image);
  std::filesystem::create_directories(mount);
  if (Run("truncate -s 256M " + img + " && mkntfs -F -Q -q " + img + " >/dev/null 2>&1") != 0) {
    return false;
  }
  if (Run("ntfs-3g " + img + " '" + mount.string() + "'") != 0) return false;
  vexlo::bench::WritePictureTree(mount, kFolders, kFilesPerFolder, 3000);
  for (int d = 0; d < kFolders; ++d) {
    for (int f = 0; f < kDeletedPerFolder; ++f) {
      std::filesystem::remove(mount / ("folder " + std::to_string(d)) /
                              ("picture number " + std::to_string(f * 4) + ".dat"));
    }
  }
  return Run("umount '" + mount.string() + "'") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path work = vexlo::bench::WorkFolder(argc, argv, "ntfs_bench");
  vexlo::ScanHistory history(work / "ScanLog");
  const std::filesystem::path image = work / "bench.img";
  const auto built = Clock::now();
  if (!BuildImage(work, image)) {
    std::fprintf(stderr, "cannot build the image (mkntfs and an ntfs-3g mount are needed)\n");
    return 1;
  }
  std::printf("image built in %.1f s\n", SecondsSince(built));

  vexlo::CFastNtfsRecovery engine(history);
  if (engine.OpenImage(image, 1) != 0) return 1;
  const auto scan_start = Clock::now();
  if (engine.Scan(nullptr) != 0) return 1;
  const double scan_seconds = SecondsSince(scan_start);
  std::vector<vexlo::FoundFileRecord> found;
  (void)engine.FindFiles("*.dat", &found);

  // The records the scan walked: those the $MFT's data holds.
  vexlo::DiskHandle disk;
  vexlo::ntfs::NtfsVolume volume;
  if (vexlo::OpenImageFile(image, &disk) != 0 || volume.Open(&disk, 0, disk.total_sectors) != 0) {
    return 1;
  }
  const uint64_t records = volume.mft_record_count();
  std::printf("deleted files listed: %zu (expected %d)\n", found.size(),
              kFolders * kDeletedPerFolder);
  std::printf("scan: %.3f s over %llu MFT records: %.0f records/s\n", scan_seconds,
              static_cast<unsigned long long>(records),
              static_cast<double>(records) / scan_seconds);

  double fls_seconds = 0;
  const int fls = vexlo::bench::RunFls(image, work / "fls.txt", &fls_seconds);
  if (fls == 0) {
    std::printf("fls -r -d: %.3f s (ours / fls = %.2f)\n", fls_seconds, scan_seconds / fls_seconds);
  } else {
    std::printf("fls not available\n");
  }
  return 0;
}
