// Carving throughput against plain reading of the same page-cached image.
//
// Builds a synthetic medium (default 256 MiB; first argument: MiB) in a
// temporary image file: stretches of random bytes and of zeros with files of
// several formats at sector offsets. Then reads it once to bring it into the
// page cache, times a plain read of the whole image through the sector
// reader, times a carve of the whole image, and prints both throughputs and
// their ratio. Carving is single-threaded, as in a scan.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "carving/file_type_recovery.h"
#include "carving/test_samples.h"
#include "storage/sector_io.h"

namespace {

using vexlo::carving::samples::Bytes;
namespace samples = vexlo::carving::samples;

constexpr uint32_t kSector = 512;
constexpr std::size_t kStretchBytes = 1 << 20;
constexpr int kFilesPerStretch = 2;
constexpr int kRuns = 3;

std::vector<Bytes> SampleFiles() {
  return {samples::MakeWav(200000),
          samples::MakeMp3(150000, true),
          samples::MakePdf(80000, "\n"),
          samples::MakeCompoundDocument(60, u"WordDocument"),
          samples::MakeMpegProgramStream(120000),
          samples::MakeTransportStream(800),
          samples::MakeNtfsFileRecord()};
}

// Writes `mib` MiB of medium to `path`; returns the number of files placed.
int BuildMedium(const std::filesystem::path& path, std::size_t mib) {
  const std::vector<Bytes> files = SampleFiles();
  std::mt19937_64 random(7);
  std::ofstream out(path, std::ios::binary);
  Bytes stretch(kStretchBytes);
  int placed = 0;
  for (std::size_t s = 0; s < mib; ++s) {
    if (s % 2 == 0) {
      for (std::size_t i = 0; i < stretch.size(); i += 8) {
        const uint64_t v = random();
        std::memcpy(stretch.data() + i, &v, 8);
      }
    } else {
      std::fill(stretch.begin(), stretch.end(), 0);
    }
    for (int f = 0; f < kFilesPerStretch; ++f) {
      const Bytes& file = files[(s * kFilesPerStretch + f) % files.size()];
      const std::size_t slot = kStretchBytes / kFilesPerStretch;
      const std::size_t at = f * slot + (random() % 64) * kSector;
      if (at + file.size() > stretch.size()) continue;
      std::copy(file.begin(), file.end(), stretch.begin() + static_cast<std::ptrdiff_t>(at));
      const std::size_t tail_end = (at + file.size() + kSector - 1) / kSector * kSector;
      std::fill(stretch.begin() + static_cast<std::ptrdiff_t>(at + file.size()),
                stretch.begin() + static_cast<std::ptrdiff_t>(tail_end), 0);
      ++placed;
    }
    out.write(reinterpret_cast<const char*>(stretch.data()),
              static_cast<std::streamsize>(stretch.size()));
  }
  return placed;
}

double PlainReadSeconds(vexlo::DiskHandle& disk, uint64_t sectors) {
  std::vector<uint8_t> buffer(65536);
  const uint64_t per_read = buffer.size() / kSector;
  const auto start = std::chrono::steady_clock::now();
  uint64_t checksum = 0;
  for (uint64_t s = 0; s < sectors; s += per_read) {
    uint64_t read = 0;
    (void)vexlo::ReadSectors(std::min(per_read, sectors - s), disk, buffer.data(), s, kSector,
                             &read);
    checksum += buffer[0];
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (checksum == 1) std::puts("");  // keeps the reads from being optimised away
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("carving_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  const std::filesystem::path image = dir / "medium.img";
  const int placed = BuildMedium(image, mib);

  vexlo::CFileTypeRecovery engine;
  if (engine.OpenImage(image, 0x8000) != 0) {
    std::fprintf(stderr, "cannot open %s\n", image.c_str());
    return 1;
  }
  const uint64_t sectors = engine.disk().total_sectors;
  (void)PlainReadSeconds(engine.disk(), sectors);  // page cache

  // The best of a few runs of each, so that a busy machine distorts less.
  double read_seconds = 1e9;
  double carve_seconds = 1e9;
  vexlo::ErrorCode rc = 0;
  for (int run = 0; run < kRuns; ++run) {
    read_seconds = std::min(read_seconds, PlainReadSeconds(engine.disk(), sectors));
    if (engine.OpenStore(dir / "log", "File_Type_bench_" + std::to_string(run)) != 0) return 1;
    engine.BeginScan();
    const auto start = std::chrono::steady_clock::now();
    rc = engine.CarveRange(0, sectors);
    carve_seconds =
        std::min(carve_seconds,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }

  const double megabytes = static_cast<double>(sectors) * kSector / (1 << 20);
  std::printf("medium: %zu MiB, %d files placed, %llu carved (result %d)\n", mib, placed,
              static_cast<unsigned long long>(engine.GetRecordCount()), static_cast<int>(rc));
  std::printf("plain read: %8.1f MiB/s\n", megabytes / read_seconds);
  std::printf("carving:    %8.1f MiB/s\n", megabytes / carve_seconds);
  std::printf("ratio carving/read: %.2f\n", read_seconds / carve_seconds);
  std::filesystem::remove_all(dir);
  return 0;
}
