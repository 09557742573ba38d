// The synthetic media of the scan benchmarks and the timing of a plain read.
//
// A medium is written to an image file in 1 MiB stretches, alternately of
// random bytes and of zeros, each holding a few files at sector offsets (and
// whatever else the caller puts in its list: file-system debris, say).
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "carving/test_samples.h"
#include "storage/sector_io.h"

namespace vexlo::bench {

using carving::samples::Bytes;

inline constexpr uint32_t kSector = 512;
inline constexpr std::size_t kStretchBytes = 1 << 20;

// Where an item was placed on the medium.
struct Placement {
  uint64_t sector;
  uint64_t size;
  std::size_t item;  // its index in the list of items
};

// Writes `mib` MiB to `path`, placing `per_stretch` items of `items` in turn
// into every stretch; returns the number placed, and where each went when
// `placements` is given.
inline int BuildMedium(const std::filesystem::path& path, std::size_t mib,
                       const std::vector<Bytes>& items, int per_stretch,
                       std::vector<Placement>* placements = nullptr) {
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
    for (int f = 0; f < per_stretch; ++f) {
      const std::size_t index = (s * per_stretch + f) % items.size();
      const Bytes& item = items[index];
      const std::size_t slot = kStretchBytes / per_stretch;
      const std::size_t at = f * slot + (random() % 64) * kSector;
      if (at + item.size() > stretch.size()) continue;
      std::copy(item.begin(), item.end(), stretch.begin() + static_cast<std::ptrdiff_t>(at));
      const std::size_t tail_end = (at + item.size() + kSector - 1) / kSector * kSector;
      std::fill(stretch.begin() + static_cast<std::ptrdiff_t>(at + item.size()),
                stretch.begin() + static_cast<std::ptrdiff_t>(tail_end), 0);
      ++placed;
      if (placements != nullptr)
        placements->push_back({(s * kStretchBytes + at) / kSector, item.size(), index});
    }
    out.write(reinterpret_cast<const char*>(stretch.data()),
              static_cast<std::streamsize>(stretch.size()));
  }
  return placed;
}

// Wall-clock and CPU seconds of the calling thread. On a shared machine the
// CPU times of two things compared are the steadier figures: time spent
// waiting for a core does not count.
struct Seconds {
  double wall = 1e9;
  double cpu = 1e9;

  // The smaller of each, for the best of several runs.
  void KeepBest(const Seconds& other) {
    wall = std::min(wall, other.wall);
    cpu = std::min(cpu, other.cpu);
  }
};

class Stopwatch {
 public:
  Stopwatch() : wall_start_(std::chrono::steady_clock::now()), cpu_start_(ThreadCpuSeconds()) {}
  Seconds Elapsed() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start_).count(),
            ThreadCpuSeconds() - cpu_start_};
  }

 private:
  static double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }

  std::chrono::steady_clock::time_point wall_start_;
  double cpu_start_;
};

// Prints the throughput of a plain read and of `work` (named `label`) over
// `megabytes`, and their ratio, in wall-clock and in CPU time.
inline void PrintAgainstRead(const char* label, double megabytes, const Seconds& read,
                             const Seconds& work) {
  std::printf("plain read: %8.1f MiB/s (CPU time: %8.1f MiB/s)\n", megabytes / read.wall,
              megabytes / read.cpu);
  std::printf("%-11s %8.1f MiB/s (CPU time: %8.1f MiB/s)\n", label, megabytes / work.wall,
              megabytes / work.cpu);
  std::printf("ratio %s/read: %.2f (CPU time: %.2f)\n", label, read.wall / work.wall,
              read.cpu / work.cpu);
}

// Time to read `sectors` sectors of `disk` front to back in reads of
// `read_bytes`.
inline Seconds PlainReadTime(DiskHandle& disk, uint64_t sectors, std::size_t read_bytes) {
  std::vector<uint8_t> buffer(read_bytes);
  const uint64_t per_read = buffer.size() / kSector;
  const Stopwatch stopwatch;
  uint64_t checksum = 0;
  for (uint64_t s = 0; s < sectors; s += per_read) {
    uint64_t read = 0;
    (void)ReadSectors(std::min(per_read, sectors - s), disk, buffer.data(), s, kSector, &read);
    checksum += buffer[0];
  }
  const Seconds elapsed = stopwatch.Elapsed();
  if (checksum == 1) std::puts("");  // keeps the reads from being optimised away
  return elapsed;
}

}  // namespace vexlo::bench
