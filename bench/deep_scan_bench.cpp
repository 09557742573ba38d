// Deep-scan throughput against plain reading of the same page-cached image.
//
// Builds a synthetic medium (default 1024 MiB; first argument: MiB; second:
// folder for the image, default /var/tmp) of random and zero stretches with
// files of many formats and some file-system debris (FAT directory sectors,
// NTFS file records). Reads it once into the page cache, times a plain read
// through the same reader in the scan's chunk size, then runs a deep scan of
// the image through the engine factory and the formatted-recovery driver, with
// and without the count of the files a search for every type will list (the
// best of three runs of each, in wall-clock and in CPU time).
// Prints the throughputs and their ratios, the bytes read from the medium
// per byte of medium during the scan, the peak resident memory before and
// after the scan, and how many placed files were carved to their exact size. The image is deleted
// at the end.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/synthetic_medium.h"
#include "catalogue/extension_selection.h"
#include "platform/sector_source.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"

namespace {

namespace samples = vexlo::carving::samples;
using vexlo::bench::Bytes;

constexpr int kItemsPerStretch = 4;
constexpr int kRuns = 3;

// Every source opened during the run reads the one image through the real
// reader and counts the bytes delivered.
class CountingSource final : public vexlo::platform::SectorSource {
 public:
  CountingSource(std::shared_ptr<vexlo::platform::SectorSource> inner, uint64_t* counter)
      : inner_(std::move(inner)), counter_(counter) {}
  vexlo::ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                          std::size_t* bytes_read) override {
    const vexlo::ErrorCode rc = inner_->ReadAt(byte_offset, data, bytes_read);
    *counter_ += *bytes_read;
    return rc;
  }
  vexlo::ErrorCode LengthBytes(uint64_t* length_bytes) const override {
    return inner_->LengthBytes(length_bytes);
  }
  vexlo::ErrorCode Geometry(vexlo::platform::DeviceGeometry* geometry) const override {
    return inner_->Geometry(geometry);
  }

 private:
  std::shared_ptr<vexlo::platform::SectorSource> inner_;
  uint64_t* counter_;
};

std::vector<Bytes> Items() {
  return {samples::MakeJpeg(90'000, true),
          samples::MakeFatDirectorySector(),
          samples::MakeMp3(150'000, true),
          samples::MakePdf(80'000, "\n"),
          samples::MakeJpeg(40'000, false),
          samples::MakeCompoundDocument(60, u"WordDocument"),
          samples::MakeMpegProgramStream(120'000),
          samples::MakeRoutedNtfsFileRecord(),
          samples::MakeTransportStream(800),
          samples::MakeZip(100'000),
          samples::MakeWav(200'000),
          samples::MakeTransportStream(600, 300),
          samples::MakeMp3(60'000, false),
          samples::MakeFatDirectoryStart()};
}

// Every file record below `folder`, at any depth.
void CollectFiles(vexlo::IFileRecoveryParse& engine, const vexlo::FoundFileRecord* folder,
                  uint32_t level, std::vector<vexlo::FoundFileRecord>* files) {
  std::vector<vexlo::FoundFileRecord> listed;
  if (engine.ListFolder(folder, level, &listed) != 0) return;
  for (const vexlo::FoundFileRecord& record : listed) {
    if (record.is_folder != 0) {
      CollectFiles(engine, &record, level + 1, files);
    } else {
      files->push_back(record);
    }
  }
}

// How the carved lengths of the placed files compare with their sizes
// (items that carving does not carve, such as file-system debris, have no
// record at their sector and count as missed).
void PrintLengths(vexlo::IFileRecoveryParse& engine,
                  const std::vector<vexlo::bench::Placement>& placements) {
  std::vector<vexlo::FoundFileRecord> files;
  CollectFiles(engine, nullptr, 0, &files);
  std::map<uint64_t, uint64_t> size_at;
  for (const vexlo::FoundFileRecord& record : files) size_at[record.entry_sector] = record.size;
  int exact = 0, too_long = 0, too_short = 0, missed = 0;
  for (const vexlo::bench::Placement& placed : placements) {
    const auto found = size_at.find(placed.sector);
    if (found == size_at.end()) {
      ++missed;
    } else if (found->second == placed.size) {
      ++exact;
    } else if (found->second > placed.size) {
      ++too_long;
    } else {
      ++too_short;
    }
  }
  std::printf("placed files: %d exact, %d too long, %d too short, %d without a record\n", exact,
              too_long, too_short, missed);
}

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const std::filesystem::path root = argc > 2 ? argv[2] : "/var/tmp";
  const std::filesystem::path dir = root / ("deep_scan_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  vexlo::ScanHistory history(dir / "ScanLog");
  const std::filesystem::path image = dir / "medium.img";
  std::vector<vexlo::bench::Placement> placements;
  const int placed = vexlo::bench::BuildMedium(image, mib, Items(), kItemsPerStretch, &placements);

  std::unique_ptr<vexlo::platform::SectorSource> opened;
  if (vexlo::platform::OpenSource(image, &opened) != 0) {
    std::fprintf(stderr, "cannot open %s\n", image.c_str());
    return 1;
  }
  const std::shared_ptr<vexlo::platform::SectorSource> real(std::move(opened));
  uint64_t bytes_read = 0;
  vexlo::platform::SetSourceOpenerForTesting(
      [&](const std::filesystem::path&, std::unique_ptr<vexlo::platform::SectorSource>* source) {
        *source = std::make_unique<CountingSource>(real, &bytes_read);
        return vexlo::ErrorCode(vexlo::err::kSuccess);
      });

  vexlo::DiskHandle disk;
  if (vexlo::OpenImageFile(image, &disk) != 0) return 1;
  const uint64_t sectors = disk.total_sectors;
  (void)vexlo::bench::PlainReadTime(disk, sectors, vexlo::kScanChunkBytes);  // page cache

  // The best of a few runs of each, so that a busy machine distorts less.
  // Every scan starts afresh: the one before it is forgotten. Front ends
  // have the scan count the files their search will list; the scans that
  // do so alternate with those that do not, so that both meet the same
  // load.
  const long rss_before = PeakRssKib();
  const std::string every_type = vexlo::catalogue::ExtensionSelection().BuildSearchPattern();
  vexlo::bench::Seconds read_time;
  vexlo::bench::Seconds scan_time;
  vexlo::bench::Seconds counting_time;
  uint64_t scan_bytes_read = 0;
  uint64_t records = 0;
  vexlo::ErrorCode rc = 0;
  std::unique_ptr<vexlo::IFileRecoveryParse> last_engine;
  for (int run = 0; run < 2 * kRuns; ++run) {
    const bool counting = run % 2 == 1;
    if (!counting) {
      read_time.KeepBest(vexlo::bench::PlainReadTime(disk, sectors, vexlo::kScanChunkBytes));
    }
    auto engine = vexlo::CreateEngineForImage(history, image, 0x8000, vexlo::kFormattedScanMode);
    auto* driver = dynamic_cast<vexlo::CProfessionalRecovery*>(engine.get());
    if (driver == nullptr) {
      std::fprintf(stderr, "no deep-scan engine for %s\n", image.c_str());
      return 1;
    }
    driver->ForgetSavedScan();
    if (counting) driver->CountListedFiles(every_type);
    bytes_read = 0;
    const vexlo::bench::Stopwatch stopwatch;
    rc = engine->Scan(nullptr);
    (counting ? counting_time : scan_time).KeepBest(stopwatch.Elapsed());
    if (counting) continue;
    scan_bytes_read = bytes_read;
    records = engine->GetRecordCount();
    last_engine = std::move(engine);
  }
  const long rss_after = PeakRssKib();

  const double medium_bytes = static_cast<double>(sectors) * vexlo::bench::kSector;
  const double megabytes = medium_bytes / (1 << 20);
  std::printf("medium: %zu MiB, %d items placed, %llu records (result %d)\n", mib, placed,
              static_cast<unsigned long long>(records), static_cast<int>(rc));
  vexlo::bench::PrintAgainstRead("deep scan", megabytes, read_time, scan_time);
  std::printf("deep scan counting listed files / deep scan: %.3f (CPU time: %.3f)\n",
              counting_time.wall / scan_time.wall, counting_time.cpu / scan_time.cpu);
  std::printf("bytes read / medium size: %.4f\n",
              static_cast<double>(scan_bytes_read) / medium_bytes);
  std::printf("peak RSS: %.1f MiB before the scan, %.1f MiB after\n",
              static_cast<double>(rss_before) / 1024.0, static_cast<double>(rss_after) / 1024.0);

  PrintLengths(*last_engine, placements);
  last_engine.reset();

  vexlo::CloseDiskHandle(disk);
  vexlo::platform::SetSourceOpenerForTesting({});
  std::filesystem::remove_all(dir);
  return 0;
}
