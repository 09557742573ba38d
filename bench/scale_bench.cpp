// How the scans grow with the files a card holds: time and peak resident
// memory of a scan followed by a walk over its results (every folder listed,
// every file's folder path asked for, as a user browsing them causes) per
// card size, each scan in a process of its own so that its peak is its own.
//
// Quick scans run on FAT32 and exFAT volumes (sparse image files) of 25,000,
// 100,000 and 400,000 files in folders of 300, 90 % of them deleted; deep scans on
// sparse media of 50,000 and 200,000 small JPEGs 4 KiB apart. Each line gives the
// directory entries (or JPEGs) the scan walks, the files it found, time, peak RSS
// and the time ratio to the size before, where every size is four times the one
// before it: linear growth shows as about x4. `--million` adds a FAT32 card of
// 1,000,000 files (x2.5 of the size before); it is left out by default since a
// build whose scans grow faster than linearly spends many minutes on it.
// With `--baseline PROGRAM` every case runs a second scale_bench (say, one built
// from another branch) as the scanning process on the same image, so both columns
// come from one run on one machine load.
//
//   scale_bench [--work FOLDER] [--baseline PROGRAM] [--sizes 25000,100000,...]
//               [--deep FILES,FILES] [--million] [--keep]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bench/file_system_bench.h"
#include "carving/test_samples.h"
#include "engine/scan_history.h"
#include "recovery/engine_factory.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"

namespace {

using vexlo::bench::Clock;
using vexlo::bench::SecondsSince;

constexpr int kFilesPerFolder = 300;
constexpr int kFoldersPerGroup = 100;
// Holds a folder of 300 entry sets in the one cluster the builder gives it.
constexpr uint32_t kClusterBytes = 32 * 1024;
constexpr uint64_t kDeepSlotBytes = 4096;

struct Figures {
  uint64_t files = 0;
  // Wall time on a shared machine counts the other users' work too; the
  // process's own CPU time does not.
  double seconds = 0, cpu_seconds = 0;
  double peak_mib = 0;
  bool ok = false;
};

// Scans `image` in this process as a user's browsing would use the
// results: every folder listed, every file's folder path asked for. Prints
// "FILES SECONDS" for the parent. Returns the process status.
int ScanHere(const std::string& mode, const std::filesystem::path& image,
             const std::filesystem::path& log_folder) {
  vexlo::ScanHistory history(log_folder);
  const auto start = Clock::now();
  auto engine = vexlo::CreateEngineForImage(
      history, image, 0x8000, mode == "quick" ? vexlo::kQuickScanMode : vexlo::kFormattedScanMode);
  if (engine == nullptr || engine->Scan(nullptr) != 0) return 1;
  uint64_t files = 0;
  std::string path;
  // Folders to list with their level; the listing of one folder at a time
  // is what a browser holds.
  std::vector<std::pair<vexlo::FoundFileRecord, uint32_t>> pending;
  std::vector<vexlo::FoundFileRecord> listed;
  if (engine->ListFolder(nullptr, 0, &listed) != 0) return 1;
  uint32_t level = 0;
  for (;;) {
    for (const vexlo::FoundFileRecord& record : listed) {
      if (record.is_folder != 0) {
        pending.emplace_back(record, level + 1);
        continue;
      }
      ++files;
      if (engine->GetFullPath(record, &path) != 0) return 1;
    }
    if (pending.empty()) break;
    const vexlo::FoundFileRecord folder = pending.back().first;
    level = pending.back().second;
    pending.pop_back();
    listed.clear();
    if (engine->ListFolder(&folder, level, &listed) != 0) return 1;
  }
  std::printf("%llu %.3f\n", static_cast<unsigned long long>(files), SecondsSince(start));
  return 0;
}

// Runs `program --child MODE image log` in a process of its own and reads
// its figures back.
Figures RunScan(const std::string& program, const std::string& mode,
                const std::filesystem::path& image, const std::filesystem::path& work) {
  const std::filesystem::path log_folder = work / "ScanLog";
  std::filesystem::remove_all(log_folder);
  const std::filesystem::path answer = work / "answer.txt";
  Figures figures;
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(answer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) ::_exit(127);
    ::execl(program.c_str(), program.c_str(), "--child", mode.c_str(), image.c_str(),
            log_folder.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (child < 0) return figures;
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) return figures;
  figures.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  figures.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  unsigned long long files = 0;
  std::ifstream in(answer);
  figures.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && (in >> files >> figures.seconds);
  figures.files = files;
  return figures;
}

// An exFAT volume of `files` files named like a camera's, folders of 300;
// nine in ten deleted. Data clusters stay holes, so the image stays small.
bool BuildExFatCard(const std::filesystem::path& image, int files) {
  const int folders = (files + kFilesPerFolder - 1) / kFilesPerFolder;
  const uint64_t clusters = uint64_t(files) + uint64_t(folders) * 2 + 64;
  const uint64_t mib = clusters * kClusterBytes / (1024 * 1024) + 64;
  vexlo::testing::ExFatImage card;
  if (const std::string error = card.Format(image, mib, kClusterBytes); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  const vexlo::testing::ExFatStamp stamp{0x52A45000, 0, 0};
  int made = 0;
  uint32_t group = 0;
  for (int d = 0; d < folders; ++d) {
    char name[32];
    std::snprintf(name, sizeof name, "%03dCAMERA", 100 + d);
    const std::string folder_name(name);
    // A folder of the builder spans one cluster, 340 entry sets: groups of
    // 100 folders keep the root within it.
    if (d % kFoldersPerGroup == 0) {
      std::snprintf(name, sizeof name, "DCIM%03d", d / kFoldersPerGroup);
      const std::u16string group_name(name, name + std::strlen(name));
      group = card.AddFolder(card.root(), group_name, stamp).first_cluster();
    }
    const vexlo::testing::ExFatItem folder =
        card.AddFolder(group, std::u16string(folder_name.begin(), folder_name.end()), stamp);
    // Deleted only once the folder is full: a new set would take the place
    // of a deleted one.
    std::vector<vexlo::testing::ExFatItem> doomed;
    for (int f = 0; f < kFilesPerFolder && made < files; ++f, ++made) {
      std::snprintf(name, sizeof name, "DSC%06d.DAT", made);
      const std::string file_name(name);
      vexlo::testing::ExFatItem file = card.AddSparseFile(
          folder.first_cluster(), std::u16string(file_name.begin(), file_name.end()), 20'000,
          vexlo::testing::ExFatLayout::kContiguous, stamp);
      if (made % 10 != 0) doomed.push_back(std::move(file));
    }
    for (const vexlo::testing::ExFatItem& file : doomed) card.Delete(file);
  }
  if (const std::string error = card.Save(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

// Writes a FAT32 volume the way a camera fills it: mkfs.fat formats, this
// code writes directories, FAT chains and (no) data straight into the image,
// since mtools takes hours for this many files.
class Fat32Card {
 public:
  bool Format(const std::filesystem::path& image, int files) {
    const uint64_t kib = (uint64_t(files) * 4 + 64 * 1024) * 2;
    if (!vexlo::testing::MakeFatImage(image, {32, kib, 8, 512, 0}).empty()) return false;
    layout_ = vexlo::testing::ReadFatLayout(image);
    fat_.assign(uint64_t{layout_.sectors_per_fat} * layout_.bytes_per_sector / 4, 0);
    fd_ = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return false;
    const uint64_t fat_at = uint64_t{layout_.reserved_sectors} * layout_.bytes_per_sector;
    ok_ = ::pread(fd_, fat_.data(), fat_.size() * 4, static_cast<off_t>(fat_at)) ==
          static_cast<ssize_t>(fat_.size() * 4);
    next_free_ = layout_.root_cluster + 1;
    return ok_;
  }

  // The chain of a new directory of `entries` entries besides "." and "..".
  uint32_t NewDirectory(std::size_t entries) {
    const uint32_t first = next_free_;
    Chain(first, ((entries + 2) * 32 + layout_.cluster_bytes() - 1) / layout_.cluster_bytes());
    return first;
  }

  // Writes the entries of directory `first` below `parent` (0: the root).
  void FillDirectory(uint32_t first, uint32_t parent,
                     const std::vector<vexlo::testing::RawDirEntry>& entries) {
    std::vector<vexlo::testing::RawDirEntry> all;
    if (parent != 0) {
      all.push_back(vexlo::testing::ShortEntry(".          ", 0x10, first, 0));
      all.push_back(vexlo::testing::ShortEntry("..         ", 0x10,
                                               parent == layout_.root_cluster ? 0 : parent, 0));
    }
    all.insert(all.end(), entries.begin(), entries.end());
    std::vector<uint8_t> bytes;
    for (const vexlo::testing::RawDirEntry& entry : all) {
      bytes.insert(bytes.end(), entry.begin(), entry.end());
    }
    // Contiguous chains: one write covers the directory.
    Write(layout_.ClusterOffset(first), bytes);
  }

  // One cluster for a file; a deleted file's cluster stays free.
  uint32_t FileCluster(bool deleted) {
    const uint32_t cluster = next_free_;
    if (deleted) {
      ++next_free_;
    } else {
      Chain(cluster, 1);
    }
    return cluster;
  }

  bool Finish() {
    // The free count of the FSInfo sector is marked unknown rather than
    // counted; fsck accepts that.
    const uint8_t unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    Write(uint64_t{layout_.bytes_per_sector} + 488, unknown);
    for (uint32_t copy = 0; copy < layout_.fat_count; ++copy) {
      const uint64_t at =
          (uint64_t{layout_.reserved_sectors} + uint64_t{copy} * layout_.sectors_per_fat) *
          layout_.bytes_per_sector;
      Write(at, {reinterpret_cast<const uint8_t*>(fat_.data()), fat_.size() * 4});
    }
    return ::close(fd_) == 0 && ok_;
  }

  uint32_t root() const { return layout_.root_cluster; }

 private:
  void Chain(uint32_t first, uint64_t clusters) {
    for (uint64_t i = 0; i < clusters; ++i) {
      const uint32_t cluster = first + static_cast<uint32_t>(i);
      if (cluster >= fat_.size()) {
        ok_ = false;
        return;
      }
      fat_[cluster] = i + 1 == clusters ? 0x0FFFFFFF : cluster + 1;
    }
    next_free_ = std::max<uint32_t>(next_free_, first + static_cast<uint32_t>(clusters));
  }
  void Write(uint64_t at, std::span<const uint8_t> bytes) {
    ok_ = ok_ && ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(at)) ==
                     static_cast<ssize_t>(bytes.size());
  }

  vexlo::testing::FatLayout layout_;
  std::vector<uint32_t> fat_;
  uint32_t next_free_ = 0;
  int fd_ = -1;
  bool ok_ = false;
};

// The exFAT card's tree on FAT32 with short names: groups of 100 folders of
// 300 files, nine in ten deleted.
bool BuildFat32Card(const std::filesystem::path& image, int files) {
  Fat32Card card;
  if (!card.Format(image, files)) return false;
  const int folders = (files + kFilesPerFolder - 1) / kFilesPerFolder;
  std::vector<vexlo::testing::RawDirEntry> root_entries;
  std::vector<vexlo::testing::RawDirEntry> group_entries;
  std::vector<vexlo::testing::RawDirEntry> entries;
  uint32_t group = 0;
  int made = 0;
  char name[16];
  for (int d = 0; d < folders; ++d) {
    if (d % kFoldersPerGroup == 0) {
      group = card.NewDirectory(kFoldersPerGroup);
      // Numbered: past "DCIMZ" letters run into characters short names forbid,
      // and a million files need 34 groups.
      std::snprintf(name, sizeof name, "DCIM%03d   ", d / kFoldersPerGroup);
      root_entries.push_back(vexlo::testing::ShortEntry(name, 0x10, group, 0));
      group_entries.clear();
    }
    const uint32_t folder = card.NewDirectory(kFilesPerFolder);
    entries.clear();
    for (int f = 0; f < kFilesPerFolder && made < files; ++f, ++made) {
      const bool deleted = made % 10 != 0;
      std::snprintf(name, sizeof name, "D%07dDAT", made);
      if (deleted) name[0] = static_cast<char>(0xE5);
      entries.push_back(vexlo::testing::ShortEntry(name, 0x20, card.FileCluster(deleted), 3000));
    }
    card.FillDirectory(folder, group, entries);
    std::snprintf(name, sizeof name, "%03dCANON   ", 100 + d % kFoldersPerGroup);
    group_entries.push_back(vexlo::testing::ShortEntry(name, 0x10, folder, 0));
    if (d % kFoldersPerGroup == kFoldersPerGroup - 1 || d + 1 == folders) {
      card.FillDirectory(group, card.root(), group_entries);
    }
  }
  card.FillDirectory(card.root(), 0, root_entries);
  return card.Finish();
}

// A medium of `files` small JPEGs, one per 4 KiB, written sparse.
bool BuildJpegMedium(const std::filesystem::path& image, int files) {
  const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, static_cast<off_t>((uint64_t(files) + 16) * kDeepSlotBytes)) == 0;
  for (int i = 0; ok && i < files; ++i) {
    const vexlo::carving::samples::Bytes jpeg =
        vexlo::carving::samples::MakeJpeg(1000 + (i * 37) % 2000, true);
    ok = ::pwrite(fd, jpeg.data(), jpeg.size(), static_cast<off_t>(uint64_t(i) * kDeepSlotBytes)) ==
         static_cast<ssize_t>(jpeg.size());
  }
  return ::close(fd) == 0 && ok;
}

std::vector<int> ParseSizes(std::string_view text) {
  std::vector<int> sizes;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    sizes.push_back(std::atoi(std::string(text.substr(0, comma)).c_str()));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return sizes;
}

struct Options {
  std::filesystem::path work = std::filesystem::temp_directory_path() / "scale_bench";
  std::string ours;
  std::string baseline;
  std::vector<int> sizes{25'000, 100'000, 400'000};
  std::vector<int> deep_sizes{50'000, 200'000};
  bool million = false;
  bool keep = false;  // images stay in the work folder, for other tools
};

bool ParseOptions(int argc, char** argv, Options* options) {
  options->ours = std::filesystem::canonical("/proc/self/exe");
  for (int i = 1; i < argc; i += 2) {
    const std::string_view name = argv[i];
    if (name == "--keep" || name == "--million") {
      (name == "--keep" ? options->keep : options->million) = true;
      --i;
    } else if (i + 1 == argc) {
      return false;
    } else if (name == "--work") {
      options->work = argv[i + 1];
    } else if (name == "--baseline") {
      options->baseline = argv[i + 1];
    } else if (name == "--sizes") {
      options->sizes = ParseSizes(argv[i + 1]);
    } else if (name == "--deep") {
      options->deep_sizes = ParseSizes(argv[i + 1]);
    } else {
      return false;
    }
  }
  return true;
}

// The directory entries of a card of `files` files: the files, their
// folders and the groups holding those.
uint64_t CardEntries(int files) {
  const int folders = (files + kFilesPerFolder - 1) / kFilesPerFolder;
  return uint64_t(files) + folders + (folders + kFoldersPerGroup - 1) / kFoldersPerGroup;
}

// The figures of the size before, per program, for the growth columns.
struct Trend {
  Figures ours;
  Figures baseline;
};

void PrintFigures(const Figures& figures, Figures* before) {
  std::printf(" %8llu %8.2f s %8.2f s %7.1f MiB", static_cast<unsigned long long>(figures.files),
              figures.seconds, figures.cpu_seconds, figures.peak_mib);
  if (!figures.ok) {
    std::printf("  failed       ");
  } else if (before->ok && before->seconds > 0 && before->cpu_seconds > 0) {
    std::printf("  x%5.2f x%5.2f", figures.seconds / before->seconds,
                figures.cpu_seconds / before->cpu_seconds);
  } else {
    std::printf("       -      -");
  }
  *before = figures;
}

// One line per case: ours, then the baseline when given.
void RunCase(const Options& options, const std::string& label, const std::string& mode,
             const std::filesystem::path& image, uint64_t entries, Trend* trend) {
  std::printf("%-20s %8llu", label.c_str(), static_cast<unsigned long long>(entries));
  std::fflush(stdout);
  PrintFigures(RunScan(options.ours, mode, image, options.work), &trend->ours);
  if (!options.baseline.empty()) {
    std::printf(" |");
    PrintFigures(RunScan(options.baseline, mode, image, options.work), &trend->baseline);
  }
  std::printf("\n");
  std::fflush(stdout);
}

void PrintLoad(const char* when) {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  std::printf("load average %s: %s %s %s\n", when, one.c_str(), five.c_str(), fifteen.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string_view(argv[1]) == "--child")
    return ScanHere(argv[2], argv[3], argv[4]);
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: scale_bench [--work FOLDER] [--baseline PROGRAM] [--sizes N,N,...] "
                 "[--deep N,N,...] [--million] [--keep]\n");
    return 2;
  }
  std::filesystem::create_directories(options.work);
  std::printf("program: %s\n", options.ours.c_str());
  if (!options.baseline.empty()) std::printf("baseline: %s\n", options.baseline.c_str());
  PrintLoad("before");
  const char* const columns = "    found       time   CPU time   peak RSS  growth: time   CPU";
  std::printf("%-20s %8s%s%s%s\n", "case", "entries", columns, options.baseline.empty() ? "" : " |",
              options.baseline.empty() ? "" : columns);

  const struct {
    const char* name;
    bool (*build)(const std::filesystem::path&, int);
  } kinds[] = {{"FAT32", BuildFat32Card}, {"exFAT", BuildExFatCard}};
  for (const auto& kind : kinds) {
    Trend trend;
    std::vector<int> sizes = options.sizes;
    if (options.million && kind.build == BuildFat32Card) sizes.push_back(1'000'000);
    for (int files : sizes) {
      const std::filesystem::path image =
          options.work / (std::string(kind.name) + "_" + std::to_string(files) + ".img");
      if (!kind.build(image, files)) {
        std::fprintf(stderr, "could not build %s\n", image.c_str());
        return 1;
      }
      RunCase(options, std::string("quick ") + kind.name + " " + std::to_string(files), "quick",
              image, CardEntries(files), &trend);
      if (!options.keep) std::filesystem::remove(image);
    }
  }
  Trend trend;
  for (int files : options.deep_sizes) {
    const std::filesystem::path image = options.work / ("jpegs_" + std::to_string(files) + ".img");
    if (!BuildJpegMedium(image, files)) {
      std::fprintf(stderr, "could not build %s\n", image.c_str());
      return 1;
    }
    RunCase(options, "deep " + std::to_string(files), "deep", image, uint64_t(files), &trend);
    if (!options.keep) std::filesystem::remove(image);
  }
  std::filesystem::remove_all(options.work / "ScanLog");
  PrintLoad("after");
  return 0;
}
