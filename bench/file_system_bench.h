// What the file-system scan benchmarks share: a work folder, shell commands,
// a tree of many small files to put on an image, and the timing of the
// comparison tool beside ours.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vexlo::bench {

using Clock = std::chrono::steady_clock;

inline int Run(const std::string& command) { return std::system(command.c_str()); }

inline double SecondsSince(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The folder named on the command line, else `default_name` in the temporary
// folder; made when missing.
inline std::filesystem::path WorkFolder(int argc, char** argv, const char* default_name) {
  const std::filesystem::path work = argc > 1
                                         ? std::filesystem::path(argv[1])
                                         : std::filesystem::temp_directory_path() / default_name;
  std::filesystem::create_directories(work);
  return work;
}

// `folders` folders "folder D" of `files_per_folder` files "picture number
// F.dat" each, of 300 bytes and up to `size_spread` more, so that the files
// span one to several clusters.
inline void WritePictureTree(const std::filesystem::path& root, int folders, int files_per_folder,
                             int size_spread) {
  for (int d = 0; d < folders; ++d) {
    const std::filesystem::path folder = root / ("folder " + std::to_string(d));
    std::filesystem::create_directories(folder);
    for (int f = 0; f < files_per_folder; ++f) {
      std::ofstream out(folder / ("picture number " + std::to_string(f) + ".dat"));
      out << std::string(300 + (d * 7 + f * 13) % size_spread, static_cast<char>('a' + f % 26));
    }
  }
}

// Runs The Sleuth Kit's `fls -r -d` on `image`, its listing into `listing`;
// returns its exit status and how long it took.
inline int RunFls(const std::filesystem::path& image, const std::filesystem::path& listing,
                  double* seconds) {
  const auto start = Clock::now();
  const int status = Run("fls -r -d '" + image.string() + "' > '" + listing.string() + "'");
  *seconds = SecondsSince(start);
  return status;
}

}  // namespace vexlo::bench
