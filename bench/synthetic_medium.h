// The synthetic media of the scan benchmarks and the timing of a plain read.
//
// A medium is written to an image file in 1 MiB stretches, alternately of
// random bytes and of zeros, each holding a few files at sector offsets (and
// whatever else the caller puts in its list: file-system debris, say).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
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

// Writes `mib` MiB to `path`, placing `per_stretch` items of `items` in turn
// into every stretch; returns the number placed.
inline int BuildMedium(const std::filesystem::path& path, std::size_t mib,
                       const std::vector<Bytes>& items, int per_stretch) {
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
      const Bytes& item = items[(s * per_stretch + f) % items.size()];
      const std::size_t slot = kStretchBytes / per_stretch;
      const std::size_t at = f * slot + (random() % 64) * kSector;
      if (at + item.size() > stretch.size()) continue;
      std::copy(item.begin(), item.end(), stretch.begin() + static_cast<std::ptrdiff_t>(at));
      const std::size_t tail_end = (at + item.size() + kSector - 1) / kSector * kSector;
      std::fill(stretch.begin() + static_cast<std::ptrdiff_t>(at + item.size()),
                stretch.begin() + static_cast<std::ptrdiff_t>(tail_end), 0);
      ++placed;
    }
    out.write(reinterpret_cast<const char*>(stretch.data()),
              static_cast<std::streamsize>(stretch.size()));
  }
  return placed;
}

// Seconds to read `sectors` sectors of `disk` front to back in reads of
// `read_bytes`.
inline double PlainReadSeconds(DiskHandle& disk, uint64_t sectors, std::size_t read_bytes) {
  std::vector<uint8_t> buffer(read_bytes);
  const uint64_t per_read = buffer.size() / kSector;
  const auto start = std::chrono::steady_clock::now();
  uint64_t checksum = 0;
  for (uint64_t s = 0; s < sectors; s += per_read) {
    uint64_t read = 0;
    (void)ReadSectors(std::min(per_read, sectors - s), disk, buffer.data(), s, kSector, &read);
    checksum += buffer[0];
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (checksum == 1) std::puts("");  // keeps the reads from being optimised away
  return seconds;
}

}  // namespace vexlo::bench
