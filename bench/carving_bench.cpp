// Carving throughput against plain reading of the same page-cached image.
//
// Builds a synthetic medium (default 256 MiB; first argument: MiB) in a
// temporary image file: stretches of random bytes and of zeros with files of
// several formats at sector offsets. Then reads it once to bring it into the
// page cache, times a plain read of the whole image through the sector
// reader, times a carve of the whole image, and prints both throughputs and
// their ratio. Carving is single-threaded, as in a scan.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/synthetic_medium.h"
#include "carving/file_type_recovery.h"

namespace {

namespace samples = vexlo::carving::samples;
using vexlo::bench::kSector;

constexpr int kFilesPerStretch = 2;
constexpr int kRuns = 3;
constexpr std::size_t kReadBytes = 65536;

std::vector<vexlo::bench::Bytes> SampleFiles() {
  return {samples::MakeWav(200000),
          samples::MakeMp3(150000, true),
          samples::MakePdf(80000, "\n"),
          samples::MakeCompoundDocument(60, u"WordDocument"),
          samples::MakeMpegProgramStream(120000),
          samples::MakeTransportStream(800),
          samples::MakeNtfsFileRecord()};
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("carving_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path image = dir / "medium.img";
  const int placed = vexlo::bench::BuildMedium(image, mib, SampleFiles(), kFilesPerStretch);

  vexlo::ScanHistory history(dir / "ScanLog");
  vexlo::CFileTypeRecovery engine(history);
  if (engine.OpenImage(image, 0x8000) != 0) {
    std::fprintf(stderr, "cannot open %s\n", image.c_str());
    return 1;
  }
  const uint64_t sectors = engine.disk().total_sectors;
  (void)vexlo::bench::PlainReadTime(engine.disk(), sectors, kReadBytes);  // page cache

  // The best of a few runs of each, so that a busy machine distorts less.
  vexlo::bench::Seconds read_time;
  vexlo::bench::Seconds carve_time;
  vexlo::ErrorCode rc = 0;
  for (int run = 0; run < kRuns; ++run) {
    read_time.KeepBest(vexlo::bench::PlainReadTime(engine.disk(), sectors, kReadBytes));
    if (engine.StartScan(nullptr) != 0) return 1;
    const vexlo::bench::Stopwatch stopwatch;
    rc = engine.CarveRange(0, sectors);
    carve_time.KeepBest(stopwatch.Elapsed());
  }

  const double megabytes = static_cast<double>(sectors) * kSector / (1 << 20);
  std::printf("medium: %zu MiB, %d files placed, %llu carved (result %d)\n", mib, placed,
              static_cast<unsigned long long>(engine.GetRecordCount()), static_cast<int>(rc));
  vexlo::bench::PrintAgainstRead("carving", megabytes, read_time, carve_time);
  std::filesystem::remove_all(dir);
  return 0;
}
