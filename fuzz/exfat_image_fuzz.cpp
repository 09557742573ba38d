// Mutated exFAT images through the quick engine: open, scan, list every
// record, copy every file and folder out and extract each file for preview.
// The image is served from memory; scan logs and copies go to a private
// folder that is emptied after each input.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "engine/scan_history.h"
#include "filesystems/exfat/fast_exfat_recovery.h"
#include "platform/log.h"
#include "platform/sector_source.h"

namespace {

std::filesystem::path WorkFolder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / ("vexlo_exfat_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(base);
    setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
    vexlo::platform::SetLogSilenced(true);
    return base;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  const std::filesystem::path work = WorkFolder();
  std::vector<uint8_t> image(data, data + size);
  vexlo::platform::SetSourceOpenerForTesting(
      [&image](const std::filesystem::path&, std::unique_ptr<vexlo::platform::SectorSource>* out) {
        *out = std::make_unique<vexlo::platform::MemorySectorSource>(image);
        return vexlo::ErrorCode(0);
      });
  {
    vexlo::CFastExFatRecovery engine;
    if (engine.OpenImage("/fuzz/image.img", 0x8000) == 0 && engine.Scan(nullptr) == 0) {
      std::vector<vexlo::FoundFileRecord> found;
      (void)engine.FindFiles(".other|*.jpg|*.txt|*.dat|*.bin", &found);
      std::vector<vexlo::FoundFileRecord> root;
      (void)engine.ListFolder(nullptr, 0, &root);
      uint32_t count = 0;
      (void)engine.CountFiles(nullptr, 0, &count);
      std::vector<uint8_t> preview(64 * 1024);
      int copied = 0;
      for (const auto& list : {root, found}) {
        for (const vexlo::FoundFileRecord& record : list) {
          if (++copied > 8) break;
          std::string path;
          (void)engine.GetFullPath(record, &path);
          (void)engine.RecoverFile(record, work / "out" / std::to_string(copied), 0);
          uint32_t bytes = static_cast<uint32_t>(preview.size());
          (void)engine.ExtractForPreview(record, &path, preview.data(), &bytes, nullptr, nullptr);
        }
      }
      (void)engine.BuildUsedClusterBitmap();
      uint64_t sector = 0;
      uint64_t length = 0;
      for (int i = 0; i < 64 && engine.NextFreeRange(&sector, &length) == 1 && length > 0; ++i) {
        sector += length;
      }
    }
  }
  vexlo::platform::SetSourceOpenerForTesting(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(work / "out", ignored);
  std::filesystem::remove_all(vexlo::ScanHistory::Instance().CurrentFolder(), ignored);
  return 0;
}
