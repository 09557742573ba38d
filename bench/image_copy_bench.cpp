// Reads and time of the phased image copy of a failing card, beside the
// plain sequential copy the program made before: 64 KiB pieces in order, a
// failed piece read again sector by sector on the spot.
//
// The card lives in memory: 256 MiB (first argument: MiB) of random bytes
// with one bad area of 10,000 sectors (second argument: sectors) in its
// middle. The time is that of a card model, so that the figures do not
// depend on this machine: a read that succeeds costs 1 ms of command
// overhead plus its bytes at 20 MB/s, a read that fails costs 100 ms (the
// card retries inside before it gives up). The wall time of the machine is
// printed too (both copies write their image to the temporary folder; the
// phased one also syncs it whenever it saves its map). Prints, per phase,
// the system reads (of at most 64 KiB each), the failed ones, the reads that
// touched the bad area, the bytes and the model time; then the totals of
// both copies.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/sector_source.h"
#include "storage/disk_image_copy.h"
#include "storage/sector_io.h"

namespace {

using vexlo::ErrorCode;
using vexlo::platform::SectorSource;

constexpr uint64_t kSector = 512;
constexpr uint64_t kOverheadMs = 1;
constexpr uint64_t kBytesPerMs = 20000;  // 20 MB/s
constexpr uint64_t kFailureMs = 100;
constexpr uint64_t kPlainPieceSectors = 128;  // 64 KiB

struct Counts {
  uint64_t reads = 0;
  uint64_t failed = 0;
  uint64_t on_bad_area = 0;
  uint64_t bytes = 0;
  uint64_t model_ms = 0;
};

// The card model: charges every read to a clock and counts it in the
// current bucket.
class ModelSource final : public SectorSource {
 public:
  ModelSource(std::unique_ptr<SectorSource> inner, uint64_t bad_begin, uint64_t bad_end,
              uint64_t* clock_ms, Counts** bucket)
      : inner_(std::move(inner)),
        bad_begin_(bad_begin),
        bad_end_(bad_end),
        clock_ms_(clock_ms),
        bucket_(bucket) {}

  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                   std::size_t* bytes_read) override {
    const ErrorCode rc = inner_->ReadAt(byte_offset, data, bytes_read);
    const uint64_t cost = rc.ok() ? kOverheadMs + *bytes_read / kBytesPerMs : kFailureMs;
    *clock_ms_ += cost;
    Counts& counts = **bucket_;
    ++counts.reads;
    counts.failed += rc.ok() ? 0 : 1;
    counts.bytes += *bytes_read;
    counts.model_ms += cost;
    if (byte_offset < bad_end_ && byte_offset + data.size() > bad_begin_) ++counts.on_bad_area;
    return rc;
  }
  ErrorCode LengthBytes(uint64_t* length_bytes) const override {
    return inner_->LengthBytes(length_bytes);
  }
  ErrorCode Geometry(vexlo::platform::DeviceGeometry* geometry) const override {
    return inner_->Geometry(geometry);
  }

 private:
  std::unique_ptr<SectorSource> inner_;
  uint64_t bad_begin_;
  uint64_t bad_end_;
  uint64_t* clock_ms_;
  Counts** bucket_;
};

struct Card {
  std::vector<uint8_t> bytes;
  uint64_t bad_first;
  uint64_t bad_sectors;
  uint64_t clock_ms = 0;
  Counts* bucket = nullptr;

  vexlo::DiskHandle Open() {
    auto faulty = std::make_unique<vexlo::platform::FaultySectorSource>(
        std::make_unique<vexlo::platform::MemorySectorSource>(bytes));
    faulty->AddUnreadableRange(bad_first * kSector, bad_sectors * kSector);
    vexlo::DiskHandle disk;
    if (!vexlo::OpenDiskFromSource(
             std::make_unique<ModelSource>(std::move(faulty), bad_first * kSector,
                                           (bad_first + bad_sectors) * kSector, &clock_ms, &bucket),
             &disk)
             .ok()) {
      std::abort();
    }
    return disk;
  }
};

// What the image copy did before the phases: pieces in order, a failed
// piece again sector by sector, unreadable sectors as zeros, every piece
// written to the image.
void PlainSequentialCopy(vexlo::DiskHandle& disk, const std::filesystem::path& path) {
  vexlo::platform::File image;
  if (!image.Open(path, vexlo::platform::File::Mode::kCreateTruncate).ok()) std::abort();
  std::vector<uint8_t> piece(kPlainPieceSectors * kSector);
  const uint64_t sectors = disk.total_sectors;
  for (uint64_t done = 0; done < sectors;) {
    const uint64_t count = std::min(kPlainPieceSectors, sectors - done);
    uint64_t got = 0;
    if (!vexlo::ReadSectors(count, disk, piece.data(), done, kSector, &got).ok()) {
      for (uint64_t i = got; i < count; ++i) {
        uint8_t* at = piece.data() + i * kSector;
        uint64_t one = 0;
        if (!vexlo::ReadSectors(1, disk, at, done + i, kSector, &one).ok()) {
          std::memset(at, 0, kSector);
        }
      }
    }
    if (!image.WriteAt(done * kSector, {piece.data(), count * kSector}).ok()) std::abort();
    done += count;
  }
}

struct PhaseWatch {
  Card* card;
  Counts* phases;
  static int32_t Progress(void* user, const vexlo::ImageCopyProgress& progress) {
    auto* self = static_cast<PhaseWatch*>(user);
    self->card->bucket = &self->phases[vexlo::PhaseIndex(progress.phase)];
    return 0;
  }
};

void PrintRow(const char* name, const Counts& c) {
  std::printf("%-22s %9llu %9llu %9llu %10.1f %12.1f\n", name,
              static_cast<unsigned long long>(c.reads), static_cast<unsigned long long>(c.failed),
              static_cast<unsigned long long>(c.on_bad_area), static_cast<double>(c.bytes) / 1e6,
              static_cast<double>(c.model_ms) / 1000.0);
}

Counts Sum(const Counts* counts, int n) {
  Counts total;
  for (int i = 0; i < n; ++i) {
    total.reads += counts[i].reads;
    total.failed += counts[i].failed;
    total.on_bad_area += counts[i].on_bad_area;
    total.bytes += counts[i].bytes;
    total.model_ms += counts[i].model_ms;
  }
  return total;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  const uint64_t bad_sectors = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10000;
  Card card;
  card.bytes.resize(mib << 20);
  std::mt19937_64 random(5);
  for (std::size_t i = 0; i + 8 <= card.bytes.size(); i += 8) {
    const uint64_t word = random();
    std::memcpy(card.bytes.data() + i, &word, 8);
  }
  card.bad_sectors = bad_sectors;
  card.bad_first = card.bytes.size() / kSector / 2 + 123;

  const std::filesystem::path target =
      std::filesystem::temp_directory_path() / ("image_copy_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(target);
  Counts plain;
  card.bucket = &plain;
  auto start = std::chrono::steady_clock::now();
  {
    vexlo::DiskHandle disk = card.Open();
    PlainSequentialCopy(disk, target / "plain.img");
  }
  const double plain_wall = Seconds(std::chrono::steady_clock::now() - start);

  Counts phases[vexlo::kPhaseCount];
  card.clock_ms = 0;
  card.bucket = &phases[0];
  PhaseWatch watch{&card, phases};
  vexlo::ImageCopyJob job;
  job.clock_ms = [&card] { return card.clock_ms; };
  job.progress = &PhaseWatch::Progress;
  job.user = &watch;
  vexlo::ImageCopyReport report;
  start = std::chrono::steady_clock::now();
  {
    vexlo::DiskHandle disk = card.Open();
    if (!vexlo::CopyDiskToImage(job, disk, 0, 0, target / "card.img", &report).ok()) {
      std::fputs("the phased copy failed\n", stderr);
      return 1;
    }
  }
  const double phased_wall = Seconds(std::chrono::steady_clock::now() - start);
  std::filesystem::remove_all(target);

  std::printf(
      "card %llu MiB, bad area of %llu sectors at sector %llu; model: %llu ms + bytes at "
      "20 MB/s per good read, %llu ms per failed read\n\n",
      static_cast<unsigned long long>(mib), static_cast<unsigned long long>(bad_sectors),
      static_cast<unsigned long long>(card.bad_first), static_cast<unsigned long long>(kOverheadMs),
      static_cast<unsigned long long>(kFailureMs));
  std::printf("%-22s %9s %9s %9s %10s %12s\n", "", "reads", "failed", "bad area", "MB read",
              "model s");
  const char* names[] = {"phased: copying", "phased: trimming", "phased: scraping",
                         "phased: retrying"};
  for (int i = 0; i < vexlo::kPhaseCount; ++i) PrintRow(names[i], phases[i]);
  const Counts phased = Sum(phases, vexlo::kPhaseCount);
  PrintRow("phased: total", phased);
  PrintRow("plain sequential", plain);
  std::printf("\nprobe reads of the phased copy: %llu\n",
              static_cast<unsigned long long>(report.probe_reads));
  std::printf("rescued: phased %llu sectors, bad %llu\n",
              static_cast<unsigned long long>(report.rescued_sectors),
              static_cast<unsigned long long>(report.unreadable_sectors));
  std::printf(
      "model time until all but the edges of the bad area were copied: phased %.1f s "
      "(end of copying), plain %.1f s (end of the copy)\n",
      static_cast<double>(phases[0].model_ms) / 1000.0,
      static_cast<double>(plain.model_ms) / 1000.0);
  std::printf("failed reads: phased copying %llu, plain copy %llu\n",
              static_cast<unsigned long long>(phases[0].failed),
              static_cast<unsigned long long>(plain.failed));
  std::printf("wall time on this machine: phased %.2f s, plain %.2f s\n", phased_wall, plain_wall);
  return 0;
}
