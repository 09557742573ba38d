// Loads arbitrary bytes as a scan history "config", saves the history again
// and checks that what was kept survives the round trip unchanged. Every
// whole entry of the input also goes through the entry codec directly, since
// the loader keeps only entries whose folder lies inside its (random) root.
//
// Only Load and Save run here: they read and write the two history files and
// nothing else, so no input can make the fuzzer delete anything.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "engine/history_entry.h"
#include "engine/scan_history.h"
#include "platform/log.h"

namespace {

// Never destroyed, so that the clean-up at exit can still use it.
const std::filesystem::path& FuzzDir() {
  static const std::filesystem::path* dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vexlo-history-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    vexlo::platform::SetLogSilenced(true);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(FuzzDir(), ec);
    });
    return new std::filesystem::path(pattern);
  }();
  return *dir;
}

void CheckEntryCodec(std::span<const uint8_t, vexlo::kHistoryEntryBytes> bytes) {
  vexlo::HistoryEntry entry;
  if (!vexlo::DecodeHistoryEntry(bytes, &entry).ok()) return;
  std::array<uint8_t, vexlo::kHistoryEntryBytes> encoded{};
  vexlo::HistoryEntry again;
  if (!vexlo::EncodeHistoryEntry(entry, encoded).ok()) std::abort();
  if (!vexlo::DecodeHistoryEntry(encoded, &again).ok() || !(again == entry)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  for (size_t offset = 8; offset + vexlo::kHistoryEntryBytes <= size;
       offset += vexlo::kHistoryEntryBytes) {
    CheckEntryCodec(input.subspan(offset).first<vexlo::kHistoryEntryBytes>());
  }

  const std::filesystem::path root = FuzzDir() / "ScanLog";
  std::filesystem::create_directories(root);
  std::filesystem::remove(root / "config.tmp");
  std::ofstream(root / "config", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  vexlo::ScanHistory history(root);
  if (!history.Save().ok()) std::abort();
  vexlo::ScanHistory reloaded(root);
  if (reloaded.counter() != history.counter() || reloaded.entries() != history.entries()) {
    std::abort();
  }
  return 0;
}
