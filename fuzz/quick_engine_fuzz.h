// The body of the fuzz targets of the quick file-system engines: a mutated
// image, served from memory, goes through open, scan, listing, the copy of
// files and folders, the preview and the free-space ranges. Scan logs and
// copies go to a private folder that is emptied after each input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "engine/scan_history.h"
#include "platform/log.h"
#include "platform/sector_source.h"

namespace vexlo::fuzzing {

// Runs one input through a fresh `Engine`; `tag` names the work folder.
template <typename Engine>
int RunQuickEngine(const char* tag, const uint8_t* data, size_t size) {
  if (size > (4u << 20)) return 0;
  static const std::filesystem::path work = [tag] {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        (std::string("vexlo_") + tag + "_" + std::to_string(getpid()));
    std::filesystem::create_directories(base);
    platform::SetLogSilenced(true);
    return base;
  }();
  static ScanHistory history(work / "ScanLog");
  std::vector<uint8_t> image(data, data + size);
  platform::SetSourceOpenerForTesting(
      [&image](const std::filesystem::path&, std::unique_ptr<platform::SectorSource>* out) {
        *out = std::make_unique<platform::MemorySectorSource>(image);
        return ErrorCode(0);
      });
  {
    Engine engine(history);
    if (engine.OpenImage("/fuzz/image.img", 0x8000) == 0 && engine.Scan(nullptr) == 0) {
      std::vector<FoundFileRecord> found;
      (void)engine.FindFiles(".other|*.jpg|*.txt|*.dat|*.bin", &found);
      std::vector<FoundFileRecord> root;
      (void)engine.ListFolder(nullptr, 0, &root);
      uint32_t count = 0;
      (void)engine.CountFiles(nullptr, 0, &count);
      std::vector<uint8_t> preview(64 * 1024);
      int copied = 0;
      for (const auto& list : {root, found}) {
        for (const FoundFileRecord& record : list) {
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
  platform::SetSourceOpenerForTesting(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(work / "out", ignored);
  std::filesystem::remove_all(history.CurrentFolder(), ignored);
  return 0;
}

}  // namespace vexlo::fuzzing
