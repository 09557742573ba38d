// Feeds mutated MFT records to the quick NTFS engine inside a small volume
// held in memory: scan, listing and copy-out of everything found must stay
// inside the volume and end.
//
// Input: one control byte, then records of 1,024 bytes that become MFT
// records 12, 13, ... The volume around them is made here: a boot sector,
// record 0 ($MFT) and record 5 (the root). The control byte picks how record
// 0 maps the MFT: plainly, through runs that cover nothing, through runs that
// leave the volume, or through an attribute list that names record 0 itself.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/scan_history.h"
#include "filesystems/ntfs/fast_ntfs_recovery.h"
#include "platform/sector_source.h"

namespace {

constexpr uint32_t kRecord = 1024;
constexpr uint32_t kCluster = 512;
constexpr uint32_t kFirstFuzzedRecord = 12;
constexpr uint32_t kMftLcn = 2;
constexpr uint32_t kDataClusters = 256;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, static_cast<uint16_t>(v));
  Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Starts a FILE record (fix-up array with count 3 and no swapped tails,
// which the fix-up then leaves as they are) and returns the first attribute
// offset.
uint32_t StartRecord(uint8_t* r, uint32_t number, uint16_t flags) {
  std::memcpy(r, "FILE", 4);
  Put16(r + 4, 48);
  Put16(r + 6, 3);
  Put16(r + 20, 56);
  Put16(r + 22, flags);
  Put32(r + 28, kRecord);
  Put32(r + 44, number);
  std::memcpy(r + 50, r + 510, 2);
  std::memcpy(r + 52, r + 1022, 2);
  return 56;
}

uint32_t FinishRecord(uint8_t* r, uint32_t end) {
  Put32(r + end, 0xFFFFFFFF);
  Put32(r + 24, end + 8);
  std::memcpy(r + 50, r + 510, 2);
  std::memcpy(r + 52, r + 1022, 2);
  return end + 8;
}

uint32_t AddFileName(uint8_t* r, uint32_t at, const char* name, uint64_t parent) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(name));
  const uint32_t value = 66 + 2 * n;
  const uint32_t length = (24 + value + 7) & ~7u;
  Put32(r + at, 0x30);
  Put32(r + at + 4, length);
  Put32(r + at + 16, value);
  Put16(r + at + 20, 24);
  Put64(r + at + 24, parent);
  r[at + 24 + 64] = static_cast<uint8_t>(n);
  r[at + 24 + 65] = 1;
  for (uint32_t i = 0; i < n; ++i) r[at + 24 + 66 + 2 * i] = static_cast<uint8_t>(name[i]);
  return at + length;
}

uint32_t AddRuns(uint8_t* r, uint32_t at, uint32_t type, const std::vector<uint8_t>& runs,
                 uint64_t size) {
  const uint32_t length = (64 + static_cast<uint32_t>(runs.size()) + 7) & ~7u;
  Put32(r + at, type);
  Put32(r + at + 4, length);
  r[at + 8] = 1;
  Put16(r + at + 32, 64);
  Put64(r + at + 48, size);
  std::memcpy(r + at + 64, runs.data(), runs.size());
  return at + length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vexlo::ScanHistory history(std::filesystem::temp_directory_path() /
                                    ("ntfs_fuzz_" + std::to_string(getpid())) / "ScanLog");
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const std::size_t fuzzed = std::min<std::size_t>((size - 1 + kRecord - 1) / kRecord, 64);
  const uint32_t records = kFirstFuzzedRecord + static_cast<uint32_t>(fuzzed);
  const uint32_t mft_clusters = records * (kRecord / kCluster);
  const uint64_t volume_clusters = kMftLcn + mft_clusters + kDataClusters;

  std::vector<uint8_t> image(volume_clusters * kCluster, 0);
  uint8_t* boot = image.data();
  Put16(boot + 11, 512);
  boot[13] = 1;
  Put64(boot + 40, volume_clusters - 1);
  Put64(boot + 48, kMftLcn);
  boot[64] = 0xF6;

  uint8_t* mft = image.data() + kMftLcn * kCluster;
  std::memcpy(mft + kFirstFuzzedRecord * kRecord, data + 1,
              std::min<std::size_t>(size - 1, fuzzed * kRecord));
  std::vector<uint8_t> runs = {0x11, static_cast<uint8_t>(mft_clusters), kMftLcn, 0};
  switch (control % 4) {
    case 1:
      runs = {0};
      break;  // runs that cover nothing
    case 2:
      runs = {0x31, 0x40, 0xFF, 0xFF, 0x7F, 0};
      break;  // beyond the volume
    default:
      break;
  }
  uint32_t at = StartRecord(mft, 0, 1);
  if (control % 4 == 3) {
    // An attribute list whose only data entry names record 0 itself.
    Put32(mft + at, 0x20);
    Put32(mft + at + 4, 24 + 32);
    Put32(mft + at + 16, 32);
    Put16(mft + at + 20, 24);
    Put32(mft + at + 24, 0x80);
    Put16(mft + at + 28, 32);
    at += 56;
  }
  at = AddFileName(mft, at, "$MFT", 5);
  at = AddRuns(mft, at, 0x80, runs, uint64_t{records} * kRecord);
  FinishRecord(mft, at);
  uint8_t* root = mft + 5 * kRecord;
  FinishRecord(root, AddFileName(root, StartRecord(root, 5, 3), ".", 5));

  vexlo::DiskHandle disk;
  if (!vexlo::OpenDiskFromSource(std::make_unique<vexlo::platform::MemorySectorSource>(image),
                                 &disk)
           .ok()) {
    return 0;
  }
  // One scan folder for the whole run, emptied after every input, so that
  // no store carries records over from an earlier input.
  static const std::filesystem::path folder = history.CurrentFolder();
  {
    vexlo::CFastNtfsRecovery engine(history);
    if (engine.OpenOnDisk(std::move(disk), 0, volume_clusters, 1).ok() &&
        engine.Scan(nullptr).ok()) {
      std::vector<vexlo::FoundFileRecord> found;
      (void)engine.FindFiles(".other|*.txt|*.jpg|*.bin", &found);
      std::vector<uint8_t> buffer(1 << 16);
      for (const auto& record : found) {
        std::string path;
        (void)engine.GetFullPath(record, &path);
        uint32_t count = static_cast<uint32_t>(buffer.size());
        const std::string name(record.Name());
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) {
          (void)engine.ExtractForPreview(record, &path, buffer.data(), &count, nullptr, nullptr);
        }
      }
      (void)engine.BuildUsedClusterBitmap();
      uint64_t sector = 0, length = 0;
      for (int i = 0; i < 1000 && engine.NextFreeRange(&sector, &length) == 1 && length > 0; ++i) {
        sector += length;
      }
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}
