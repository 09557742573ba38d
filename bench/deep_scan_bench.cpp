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
// after the scan, and, per kind of placed file, how many were carved to their
// exact size and how many carry the damaged mark. Photos, MP3s and PDFs are
// real files (ImageMagick, ffmpeg, the tests' PDF writer). The image is
// deleted at the end.
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

struct Item {
  std::string label;
  Bytes bytes;
};

// `made` when the tool could make it, else `stand_in` under a label that
// says so.
Item Made(std::string label, Bytes made, Bytes stand_in) {
  if (!made.empty()) return {std::move(label), std::move(made)};
  return {label + " (synthetic: tool missing)", std::move(stand_in)};
}

// Photos, songs and documents as their programs write them, so that the
// length rules that follow a structure, and the decoding of photos, meet
// real structure here; the rest are synthetic stand-ins and debris.
std::vector<Item> Items(const std::filesystem::path& dir) {
  const std::string noisy = " plasma:fractal -attenuate 0.4 +noise Gaussian -quality 88 ";
  const std::string tone = "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=";
  return {
      Made("jpeg baseline (ImageMagick)",
           samples::MakeWithTool(dir, "convert -seed 1 -size 480x360" + noisy + "b.jpg", "b.jpg"),
           samples::MakeJpeg(90'000, true)),
      {"fat directory sector (debris)", samples::MakeFatDirectorySector()},
      Made("mp3 with id3v1 (ffmpeg libmp3lame)",
           samples::MakeWithTool(
               dir, tone + "8 -c:a libmp3lame -b:a 128k -write_id3v1 1 -metadata title=b a.mp3",
               "a.mp3"),
           samples::MakeMp3(150'000, true)),
      {"pdf updated in a later chunk (own writer)",
       samples::WithPdfUpdate(samples::MakeOnePagePdf(), 80'000)},
      Made("jpeg progressive (ImageMagick)",
           samples::MakeWithTool(
               dir, "convert -seed 2 -size 400x300" + noisy + "-interlace JPEG p.jpg", "p.jpg"),
           samples::MakeJpeg(40'000, false)),
      {"compound document (synthetic)", samples::MakeCompoundDocument(60, u"WordDocument")},
      {"mpeg program stream (synthetic)", samples::MakeMpegProgramStream(120'000)},
      {"ntfs file record (debris)", samples::MakeRoutedNtfsFileRecord()},
      {"transport stream (synthetic)", samples::MakeTransportStream(800)},
      {"zip (synthetic)", samples::MakeZip(100'000)},
      {"wav (synthetic)", samples::MakeWav(200'000)},
      {"transport stream, broken packet (synthetic)", samples::MakeTransportStream(600, 300)},
      Made("mp3 (ffmpeg libmp3lame)",
           samples::MakeWithTool(dir, tone + "3 -c:a libmp3lame -b:a 128k c.mp3", "c.mp3"),
           samples::MakeMp3(60'000, false)),
      {"pdf (own writer)", samples::MakeOnePagePdf()},
      {"fat directory start (debris)", samples::MakeFatDirectoryStart()}};
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

// How the carved lengths of the placed files compare with their sizes, per
// kind of item and in all (items that carving does not carve, such as
// file-system debris, have no record at their sector), and how many carved
// files carry the damaged mark.
void PrintLengths(vexlo::IFileRecoveryParse& engine, const std::vector<Item>& items,
                  const std::vector<vexlo::bench::Placement>& placements) {
  std::vector<vexlo::FoundFileRecord> files;
  CollectFiles(engine, nullptr, 0, &files);
  std::map<uint64_t, std::pair<uint64_t, bool>> found_at;
  for (const vexlo::FoundFileRecord& record : files) {
    found_at[record.entry_sector] = {record.size, record.content_check == 0};
  }
  struct Counts {
    int placed = 0, exact = 0, too_long = 0, too_short = 0, missed = 0, damaged = 0;
  };
  std::vector<Counts> per_item(items.size());
  Counts all;
  for (const vexlo::bench::Placement& placed : placements) {
    for (Counts* counts : {&per_item[placed.item], &all}) {
      ++counts->placed;
      const auto found = found_at.find(placed.sector);
      if (found == found_at.end()) {
        ++counts->missed;
        continue;
      }
      const auto [size, damaged] = found->second;
      if (damaged) ++counts->damaged;
      if (size == placed.size) {
        ++counts->exact;
      } else if (size > placed.size) {
        ++counts->too_long;
      } else {
        ++counts->too_short;
      }
    }
  }
  std::printf("%-46s %7s %7s %8s %9s %9s %8s\n", "item", "placed", "exact", "too long", "too short",
              "no record", "damaged");
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Counts& c = per_item[i];
    std::printf("%-46s %7d %7d %8d %9d %9d %8d\n", items[i].label.c_str(), c.placed, c.exact,
                c.too_long, c.too_short, c.missed, c.damaged);
  }
  std::printf("placed files: %d exact, %d too long, %d too short, %d without a record\n", all.exact,
              all.too_long, all.too_short, all.missed);
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
  const std::vector<Item> items = Items(dir);
  std::vector<Bytes> item_bytes;
  for (const Item& item : items) item_bytes.push_back(item.bytes);
  const int placed =
      vexlo::bench::BuildMedium(image, mib, item_bytes, kItemsPerStretch, &placements);

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

  PrintLengths(*last_engine, items, placements);
  last_engine.reset();

  vexlo::CloseDiskHandle(disk);
  vexlo::platform::SetSourceOpenerForTesting({});
  std::filesystem::remove_all(dir);
  return 0;
}
