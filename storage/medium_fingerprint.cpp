#include "storage/medium_fingerprint.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "ondisk/boot_sector_layouts.h"
#include "ondisk/endian.h"
#include "storage/fs_detection.h"

namespace vexlo {
namespace {

constexpr std::size_t kBootBytes = 512;
// The largest sample: one NTFS file record or one exFAT sector.
constexpr std::size_t kMaxSampleBytes = 4096;
// Partitions looked at on a whole disk; cards have one or two.
constexpr uint32_t kMaxPartitions = 8;

using Wide = unsigned __int128;
using BootSector = std::array<uint8_t, kBootBytes>;

// FNV-1a with 128 bits: plenty against two cards sharing a fingerprint by
// chance, and no library needed for it.
class Fnv128 {
 public:
  void Add(std::span<const uint8_t> bytes) {
    for (uint8_t byte : bytes) {
      state_ ^= byte;
      state_ *= kPrime;
    }
  }
  void AddNumber(uint64_t value) {
    std::array<uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    Add(bytes);
  }
  MediumFingerprint Digest() const {
    MediumFingerprint out;
    for (std::size_t i = 0; i < out.bytes.size(); ++i) {
      out.bytes[i] = static_cast<uint8_t>(state_ >> (8 * i));
    }
    return out;
  }

 private:
  static constexpr Wide kPrime = (Wide{1} << 88) | 0x13B;
  Wide state_ = (Wide{0x6C62272E07BB0142ULL} << 64) | 0x62B821756295C58DULL;
};

// Hashes pieces of the stretch, each with its place, so that equal bytes in
// other places give another fingerprint.
class Sampler {
 public:
  Sampler(DiskHandle& disk, uint64_t first_sector, uint64_t sector_count, uint32_t sector_bytes,
          Fnv128& hash)
      : disk_(disk),
        first_sector_(first_sector),
        sector_count_(sector_count),
        sector_bytes_(sector_bytes),
        hash_(hash),
        buffer_(kMaxSampleBytes + 2 * sector_bytes) {}

  // Hashes `byte_count` bytes at `byte_offset` of the stretch and returns
  // them; nothing when they lie outside it, and nothing (but a mark in the
  // hash) when they cannot be read.
  std::span<const uint8_t> Sample(Wide byte_offset, std::size_t byte_count) {
    byte_count = std::min(byte_count, kMaxSampleBytes);
    const Wide first = byte_offset / sector_bytes_;
    const uint64_t within = static_cast<uint64_t>(byte_offset % sector_bytes_);
    const uint64_t sectors = (within + byte_count + sector_bytes_ - 1) / sector_bytes_;
    if (byte_count == 0 || first >= sector_count_ || sectors > sector_count_ - first) return {};
    hash_.AddNumber(static_cast<uint64_t>(byte_offset));
    hash_.AddNumber(byte_count);
    uint64_t read = 0;
    const ErrorCode rc =
        ReadSectors(sectors, disk_, buffer_.data(), first_sector_ + static_cast<uint64_t>(first),
                    sector_bytes_, &read);
    if (!rc.ok() || read != sectors) {
      hash_.AddNumber(rc.ok() ? err::kReadFault : rc.value());
      return {};
    }
    const std::span<const uint8_t> bytes(buffer_.data() + within, byte_count);
    hash_.Add(bytes);
    return bytes;
  }

  // The first sector of a volume at `byte_offset`; none when it cannot be
  // read.
  std::optional<BootSector> SampleBoot(Wide byte_offset) {
    const std::span<const uint8_t> sample = Sample(byte_offset, kBootBytes);
    if (sample.size() < kBootBytes) return std::nullopt;
    BootSector boot{};
    std::copy(sample.begin(), sample.end(), boot.begin());
    return boot;
  }

  // The metadata sectors of the file system whose boot sector `boot` lies at
  // `byte_offset`; whether there is one.
  bool AddFileSystem(Wide byte_offset, const BootSector& boot) {
    const std::span<const uint8_t> b(boot);
    if (IsNtfsBootSector(b)) {
      namespace nb = ntfs::boot;
      const Wide cluster_bytes = Wide{nb::kBytesPerSector.Load(b)} * nb::kSectorsPerCluster.Load(b);
      const auto record_clusters = static_cast<int8_t>(nb::kRecordSize.Load(b));
      const Wide record_bytes = record_clusters < 0 ? Wide{1} << std::min(-record_clusters, 12)
                                                    : cluster_bytes * record_clusters;
      Sample(byte_offset + Wide{nb::kMftCluster.Load(b)} * cluster_bytes, Clamp(record_bytes));
      return true;
    }
    if (IsExFatBootSector(b)) {
      namespace eb = exfat::boot;
      const unsigned sector_shift = eb::kBytesPerSectorShift.Load(b);
      const Wide root_cluster = eb::kRootCluster.Load(b);
      Sample(byte_offset + (Wide{eb::kFatOffset.Load(b)} << sector_shift),
             std::size_t{1} << sector_shift);
      if (root_cluster >= 2) {
        const Wide root = Wide{eb::kClusterHeapOffset.Load(b)} +
                          ((root_cluster - 2) << eb::kSectorsPerClusterShift.Load(b));
        Sample(byte_offset + (root << sector_shift), std::size_t{1} << sector_shift);
      }
      return true;
    }
    if (IsFatBootSector(b)) {
      namespace bpb = fat::bpb;
      const uint16_t bytes_per_sector = bpb::kBytesPerSector.Load(b);
      const bool fat32 = bpb::kSectorsPerFat16.Load(b) == 0;
      const Wide fat_sectors =
          fat32 ? bpb::kSectorsPerFat32.Load(b) : bpb::kSectorsPerFat16.Load(b);
      const Wide reserved = bpb::kReservedSectors.Load(b);
      const Wide root_cluster = bpb::kRootCluster.Load(b);
      Wide root = reserved + bpb::kFatCount.Load(b) * fat_sectors;
      if (fat32) {
        const uint16_t fs_info = bpb::kFsInfoSector.Load(b);
        if (fs_info != 0 && fs_info != 0xFFFF) {
          Sample(byte_offset + Wide{fs_info} * bytes_per_sector, bytes_per_sector);
        }
        root += root_cluster >= 2 ? (root_cluster - 2) * bpb::kSectorsPerCluster.Load(b) : 0;
      }
      Sample(byte_offset + reserved * bytes_per_sector, bytes_per_sector);
      Sample(byte_offset + root * bytes_per_sector, bytes_per_sector);
      return true;
    }
    return false;
  }

  // The volumes that the partition table in `mbr` (sector 0) names.
  void AddPartitions(const BootSector& mbr) {
    if (!boot_sector::HasSignature(mbr)) return;
    for (std::size_t entry = 446; entry < 510; entry += 16) {
      const uint8_t type = mbr[entry + 4];
      if (type == 0xEE) {
        AddGptPartitions();
      } else if (type != 0 && type != 0x05 && type != 0x0F && type != 0x85) {
        AddVolume(Wide{LoadLe32(mbr, entry + 8)} * sector_bytes_);
      }
    }
  }

 private:
  static std::size_t Clamp(Wide bytes) {
    return static_cast<std::size_t>(std::min<Wide>(bytes, kMaxSampleBytes));
  }
  void AddVolume(Wide byte_offset) {
    if (const std::optional<BootSector> boot = SampleBoot(byte_offset)) {
      AddFileSystem(byte_offset, *boot);
    }
  }

  void AddGptPartitions() {
    const std::span<const uint8_t> sample = Sample(Wide{1} * sector_bytes_, 92);
    if (sample.size() < 92 || std::memcmp(sample.data(), "EFI PART", 8) != 0) return;
    const Wide entries = Wide{LoadLe64(sample, 72)} * sector_bytes_;
    const uint32_t count = std::min(LoadLe32(sample, 80), kMaxPartitions);
    const uint32_t entry_bytes = LoadLe32(sample, 84);
    if (entry_bytes < 128 || entry_bytes > kMaxSampleBytes) return;
    std::array<uint64_t, kMaxPartitions> starts{};
    uint32_t found = 0;
    for (uint32_t k = 0; k < count; ++k) {
      const std::span<const uint8_t> entry = Sample(entries + Wide{k} * entry_bytes, entry_bytes);
      if (entry.size() < 48) continue;
      const bool unused =
          std::all_of(entry.begin(), entry.begin() + 16, [](uint8_t x) { return x == 0; });
      if (!unused) starts[found++] = LoadLe64(entry, 32);
    }
    for (uint32_t k = 0; k < found; ++k) AddVolume(Wide{starts[k]} * sector_bytes_);
  }

  DiskHandle& disk_;
  uint64_t first_sector_;
  uint64_t sector_count_;
  uint32_t sector_bytes_;
  Fnv128& hash_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

ErrorCode FingerprintMedium(DiskHandle& disk, uint64_t first_sector, uint64_t sector_count,
                            uint32_t sector_bytes, std::string_view identity,
                            MediumFingerprint* fingerprint) {
  if (sector_count == 0 || sector_bytes == 0 || sector_bytes > kMaxSampleBytes) {
    return err::kInvalidParameter;
  }
  Fnv128 hash;
  hash.AddNumber(sector_count);
  hash.AddNumber(sector_bytes);
  hash.AddNumber(identity.size());
  hash.Add(std::span(reinterpret_cast<const uint8_t*>(identity.data()), identity.size()));
  Sampler sampler(disk, first_sector, sector_count, sector_bytes, hash);
  if (const std::optional<BootSector> sector0 = sampler.SampleBoot(0)) {
    // No file system at the start: a whole disk, whose volumes lie where its
    // partition table says.
    if (!sampler.AddFileSystem(0, *sector0)) sampler.AddPartitions(*sector0);
  }
  sampler.Sample(Wide{sector_count - 1} * sector_bytes, sector_bytes);
  *fingerprint = hash.Digest();
  return err::kSuccess;
}

}  // namespace vexlo
