#include "filesystems/quick_scan_engine.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "carving/formats/photo_judge.h"
#include "carving/formats/signature_table.h"

namespace vexlo {
namespace {

// Progress during the walk: the tree's size is unknown, so the bar creeps
// forward at most every 5 s and the final stages are fixed.
constexpr auto kProgressInterval = std::chrono::milliseconds(5000);
constexpr int32_t kWalkProgressCeiling = 79;
constexpr int32_t kEmitProgress = 80;
constexpr int32_t kDoneProgress = 100;

}  // namespace

QuickScanEngine::QuickScanEngine(ScanHistory& history, std::size_t boot_read_bytes)
    : StoreBackedEngine(history, kFastLogPrefix, RecordLayout::kFolderTree,
                        {.keep_open_source = true}, carving::PhotoWhole),
      boot_read_bytes_(boot_read_bytes) {}

QuickScanEngine::~QuickScanEngine() = default;

ErrorCode QuickScanEngine::AcceptSource() {
  DiskHandle& source = disk();
  const uint64_t first_device_sector = partition_start();
  const uint32_t device_bytes = source.device_sector_bytes;
  std::vector<uint8_t> boot(boot_read_bytes_, 0);
  const uint64_t want = SectorsOnDisk(source, first_device_sector, boot.size() / device_bytes);
  uint64_t sectors_read = 0;
  ErrorCode rc =
      ReadSectors(want, source, boot.data(), first_device_sector, device_bytes, &sectors_read);
  if (sectors_read * device_bytes < 512) return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  uint32_t bps = 0;
  if (rc = ParseBoot(boot, &bps); !rc.ok()) return rc;
  // From here on the volume is read in its own sector size; the partition's
  // place on the disk must be expressible in it.
  const uint64_t start_bytes = first_device_sector * device_bytes;
  if (start_bytes % bps != 0) return err::kInvalidParameter;
  volume_sectors_ =
      SectorsOnDisk(source, first_device_sector, partition_sectors()) * device_bytes / bps;
  layout_ = &Place(start_bytes / bps, volume_sectors_);
  (void)carving_.medium().SetSectorBytes(bps);  // ParseBoot took only sizes carving reads
  return err::kSuccess;
}

ErrorCode QuickScanEngine::Scan(const std::string* earlier_record_file) {
  if (earlier_record_file != nullptr) return OpenStore(earlier_record_file);
  if (!opened()) return open_result();
  if (ErrorCode rc = OpenStore(nullptr); !rc.ok()) return rc;
  if (const int32_t answer = ReportScan(1, -1); answer != 0) return answer;

  // The walk's own bar: scale 100 counts up from 2 with a countdown of
  // seconds, the formatted driver's scale 9 counts up from 21; other scales
  // get no intermediate reports.
  const int32_t walk_scale = scale();
  int32_t progress = walk_scale == 9 ? 21 : 2;
  int32_t countdown = 99;
  auto last_report = std::chrono::steady_clock::now();
  auto after_directory = [&]() -> int32_t {
    if (walk_scale != 100 && walk_scale != 9) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_report < kProgressInterval) return 0;
    last_report = now;
    const int32_t answer = ReportScan(progress, walk_scale == 100 ? countdown : -1);
    progress = std::min(progress + 1, kWalkProgressCeiling);
    countdown = std::max(countdown - 1, 11);
    return answer;
  };

  carving_.ResetForScan();
  const std::unique_ptr<DeletedTreeWalker> walker = MakeWalker(
      *store(),
      [this](std::span<const uint8_t> sector, std::string_view extension, uint64_t number) {
        return carving::CheckTypeByExtension(carving_, sector.data(), sector.size(), extension,
                                             &disk(), carving_.medium().sector_bytes(), number);
      });
  if (const int32_t answer = walker->Walk(after_directory); answer != 0) return answer;
  if (const int32_t answer = ReportScan(kEmitProgress, 10); answer != 0) return answer;
  if (ErrorCode rc = walker->EmitFolders(); !rc.ok()) return rc;
  if (ErrorCode rc = store()->Flush(); !rc.ok()) return rc;
  return ReportScan(kDoneProgress, 0);
}

int32_t QuickScanEngine::NextFreeRange(uint64_t* sector, uint64_t* length_sectors) {
  if (!bitmap_.built()) return 0;
  bitmap_.NextFreeRange(*layout_, volume_sectors_, sector, length_sectors);
  return 1;
}

}  // namespace vexlo
