// Quick-scan speed on a FAT32 image of 20,000 files, 3,000 of them deleted
// (whole folders and single files), beside The Sleuth Kit's `fls -r -d` on
// the same image. Prints files listed per second, sector reads (system read
// calls of the source) and both times. Needs mkfs.fat, mtools and fls.
//
//   fat_scan_bench [work folder]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/file_system_bench.h"
#include "engine/scan_history.h"
#include "filesystems/fat/fast_fat_recovery.h"
#include "platform/sector_source.h"
#include "storage/sector_io.h"

namespace {

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;
// Deleting a whole folder frees its directory clusters, which mtools wrote
// between the files' data, so only the first cluster of such a folder is
// still followed (by any tool); most deleted files are therefore deleted
// one by one, as a camera or a user deleting pictures does.
constexpr int kDeletedFolders = 5;         // 500 files
constexpr int kDeletedSingleFiles = 2500;  // every file of folders 5-29

using vexlo::bench::Clock;
using vexlo::bench::Run;
using vexlo::bench::SecondsSince;

bool BuildImage(const std::filesystem::path& work, const std::filesystem::path& image) {
  const std::filesystem::path tree = work / "tree";
  std::filesystem::remove_all(tree);
  vexlo::bench::WritePictureTree(tree, kFolders, kFilesPerFolder, 1500);
  const std::string env = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
  const std::string img = "'" + image.string() + "'";
  std::filesystem::remove(image);
  if (Run("mkfs.fat --invariant -C -F 32 -s 1 " + img + " 65536 >/dev/null") != 0) return false;
  if (Run(env + "mcopy -s -i " + img + " '" + tree.string() + "'/* ::/") != 0) return false;
  std::string deltree = env + "mdeltree -i " + img;
  for (int d = 0; d < kDeletedFolders; ++d) deltree += " '::/folder " + std::to_string(d) + "'";
  if (Run(deltree) != 0) return false;
  std::string del = env + "mdel -i " + img;
  for (int i = 0; i < kDeletedSingleFiles; ++i) {
    del += " '::/folder " + std::to_string(kDeletedFolders + i / 100) + "/picture number " +
           std::to_string(i % 100) + ".dat'";
  }
  if (Run(del) != 0) return false;
  std::filesystem::remove_all(tree);
  return true;
}

struct ScanFigures {
  double seconds = 0;
  uint32_t files = 0;
};

ScanFigures ScanOnce(vexlo::ScanHistory& history, const std::filesystem::path& image) {
  const auto start = Clock::now();
  vexlo::CFastFatRecovery engine(history);
  ScanFigures figures;
  if (engine.OpenImage(image, 0x8000) != 0 || engine.Scan(nullptr) != 0) return figures;
  figures.seconds = SecondsSince(start);
  (void)engine.CountFiles(nullptr, 0, &figures.files);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path work = vexlo::bench::WorkFolder(argc, argv, "fat_bench");
  vexlo::ScanHistory history(work / "ScanLog");
  const std::filesystem::path image = work / "fat32_20000.img";
  if (!BuildImage(work, image)) {
    std::fprintf(stderr, "could not build the image (mkfs.fat, mtools needed)\n");
    return 1;
  }

  // Warm the page cache for both tools alike.
  ScanOnce(history, image);
  const ScanFigures ours = ScanOnce(history, image);

  // The same scan through a source that counts the read calls.
  std::size_t read_calls = 0;
  vexlo::platform::SetSourceOpenerForTesting(
      [](const std::filesystem::path& path, std::unique_ptr<vexlo::platform::SectorSource>* out) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        *out = std::make_unique<vexlo::platform::FaultySectorSource>(
            std::make_unique<vexlo::platform::MemorySectorSource>(std::move(bytes)));
        return vexlo::ErrorCode(0);
      });
  {
    vexlo::CFastFatRecovery engine(history);
    if (engine.OpenImage(image, 0x8000) == 0 && engine.Scan(nullptr) == 0) {
      // The engine owns the source; its counter is read through the handle.
      const auto* source =
          static_cast<const vexlo::platform::FaultySectorSource*>(engine.disk().handle.get());
      read_calls = source->read_calls();
    }
  }
  vexlo::platform::SetSourceOpenerForTesting(nullptr);

  double fls_seconds = 0;
  const int fls_status = vexlo::bench::RunFls(image, work / "fls.txt", &fls_seconds);
  std::ifstream fls_out(work / "fls.txt");
  uint64_t fls_files = 0;
  for (std::string line; std::getline(fls_out, line);) {
    if (line.rfind("r/r * ", 0) == 0) ++fls_files;
  }

  const uint64_t expected = kDeletedFolders * kFilesPerFolder + kDeletedSingleFiles;
  std::printf("image: %d files, %llu deleted\n", kFolders * kFilesPerFolder,
              static_cast<unsigned long long>(expected));
  std::printf("vexlo quick scan: %.3f s, %u deleted files listed, %.0f files/s, %zu read calls\n",
              ours.seconds, ours.files, ours.seconds > 0 ? ours.files / ours.seconds : 0.0,
              read_calls);
  std::printf("fls -r -d:        %.3f s (exit %d), %llu deleted files listed\n", fls_seconds,
              fls_status, static_cast<unsigned long long>(fls_files));
  std::printf("time ratio vexlo / fls: %.2f\n", fls_seconds > 0 ? ours.seconds / fls_seconds : 0.0);
  return 0;
}
