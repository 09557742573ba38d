// What judging photos costs the first listing of a folder: a FAT32 card of
// deleted camera-sized JPEGs (ImageMagick) is scanned, then its root listed
// for the first time (every photo read and decoded), listed again (the
// verdicts known), and its bytes read plainly, all from the page cache.
// Prints each time and the ratios against the plain read. Needs mkfs.fat,
// mtools and ImageMagick.
//
//   photo_listing_bench [work folder] [photos]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/file_system_bench.h"
#include "engine/scan_history.h"
#include "filesystems/fat/fast_fat_recovery.h"

namespace {

constexpr int kDistinctPhotos = 6;
constexpr int kRounds = 3;

using vexlo::bench::Clock;
using vexlo::bench::Run;
using vexlo::bench::SecondsSince;

bool BuildImage(const std::filesystem::path& work, const std::filesystem::path& image, int photos) {
  const std::filesystem::path made = work / "made";
  const std::filesystem::path card = work / "card";
  std::filesystem::remove_all(made);
  std::filesystem::remove_all(card);
  std::filesystem::create_directories(made);
  std::filesystem::create_directories(card);
  for (int i = 0; i < kDistinctPhotos; ++i) {
    const std::string name = (made / ("p" + std::to_string(i) + ".jpg")).string();
    if (Run("convert -seed " + std::to_string(i + 1) +
            " -size 2048x1536 plasma:fractal -blur 0x2 -quality 92 '" + name + "'") != 0)
      return false;
  }
  for (int i = 0; i < photos; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
    std::filesystem::copy_file(made / ("p" + std::to_string(i % kDistinctPhotos) + ".jpg"),
                               card / name);
  }
  uint64_t bytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(card)) bytes += entry.file_size();
  const uint64_t sectors = std::max<uint64_t>(bytes / 512 * 5 / 4, 140000);
  const std::string env = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
  const std::string img = "'" + image.string() + "'";
  std::filesystem::remove(image);
  if (Run("mkfs.fat --invariant -C -F 32 -s 1 " + img + " " + std::to_string(sectors / 2) +
          " >/dev/null") != 0)
    return false;
  if (Run(env + "mcopy -i " + img + " '" + card.string() + "'/* ::/") != 0) return false;
  if (Run(env + "mdel -i " + img + " '::/*.JPG'") != 0) return false;
  std::filesystem::remove_all(card);
  return true;
}

struct Listing {
  double first = 0;  // seconds, every photo judged
  double again = 0;  // seconds, the verdicts known
  std::size_t files = 0;
  std::size_t damaged = 0;
};

Listing ListTwice(vexlo::ScanHistory& history, const std::filesystem::path& image) {
  Listing listing;
  vexlo::CFastFatRecovery engine(history);
  if (engine.OpenImage(image, 0x8000) != 0 || engine.Scan(nullptr) != 0) return listing;
  std::vector<vexlo::FoundFileRecord> files;
  auto start = Clock::now();
  (void)engine.ListFolder(nullptr, 0, &files);
  listing.first = SecondsSince(start);
  listing.files = files.size();
  listing.damaged = static_cast<std::size_t>(std::count_if(
      files.begin(), files.end(), [](const auto& record) { return record.content_check == 0; }));
  files.clear();
  start = Clock::now();
  (void)engine.ListFolder(nullptr, 0, &files);
  listing.again = SecondsSince(start);
  return listing;
}

// Reads the whole image in pieces, as a plain copy would; the photos fill
// most of it.
double PlainRead(const std::filesystem::path& image, uint64_t* bytes) {
  const auto start = Clock::now();
  std::ifstream in(image, std::ios::binary);
  std::vector<char> piece(1 << 20);
  *bytes = 0;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    *bytes += static_cast<uint64_t>(in.gcount());
  }
  return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path work = vexlo::bench::WorkFolder(argc, argv, "photo_listing_bench");
  const int photos = argc > 2 ? std::max(1, std::atoi(argv[2])) : 120;
  const std::filesystem::path image = work / "photos.img";
  if (!BuildImage(work, image, photos)) {
    std::fprintf(stderr, "could not build the image (mkfs.fat, mtools, ImageMagick needed)\n");
    return 1;
  }
  vexlo::ScanHistory history(work / "ScanLog");
  uint64_t image_bytes = 0;
  (void)PlainRead(image, &image_bytes);  // into the page cache
  Listing best;
  double read_seconds = 0;
  for (int round = 0; round < kRounds; ++round) {
    const Listing listing = ListTwice(history, image);
    const double read = PlainRead(image, &image_bytes);
    if (round == 0 || listing.first < best.first) best.first = listing.first;
    if (round == 0 || listing.again < best.again) best.again = listing.again;
    if (round == 0 || read < read_seconds) read_seconds = read;
    best.files = listing.files;
    best.damaged = listing.damaged;
  }
  std::printf("%zu deleted photos listed (%zu marked damaged), image %.1f MiB\n", best.files,
              best.damaged, static_cast<double>(image_bytes) / (1 << 20));
  std::printf("first listing (judging):  %.4f s, %.2f ms per photo\n", best.first,
              best.files > 0 ? best.first * 1000 / static_cast<double>(best.files) : 0.0);
  std::printf("listing again (judged):   %.4f s\n", best.again);
  std::printf("plain read of the image:  %.4f s\n", read_seconds);
  std::printf("ratio first / again: %.1f, first / plain read: %.2f\n",
              best.again > 0 ? best.first / best.again : 0.0,
              read_seconds > 0 ? best.first / read_seconds : 0.0);
  return 0;
}
