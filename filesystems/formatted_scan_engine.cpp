#include "filesystems/formatted_scan_engine.h"

#include <algorithm>

#include "carving/formats/photo_judge.h"

namespace vexlo {

FormattedScanEngine::FormattedScanEngine(ScanHistory& history, std::string_view log_prefix,
                                         uint32_t count_root_key)
    : StoreBackedEngine(history, log_prefix, RecordLayout::kFolderTree,
                        {.read_to_medium_end = true}, carving::PhotoWhole),
      count_root_key_(count_root_key) {}

FormattedScanEngine::~FormattedScanEngine() = default;

uint64_t FormattedScanEngine::medium_sectors() const {
  return std::min(disk().total_sectors, partition_start() + partition_sectors());
}

ErrorCode FormattedScanEngine::StartScan(const std::string* earlier_record_file) {
  if (ErrorCode rc = OpenStore(earlier_record_file); !rc.ok()) return rc;
  carving_.ResetForScan();
  return err::kSuccess;
}

ErrorCode FormattedScanEngine::Scan(const std::string* /*earlier_record_file*/) {
  return err::kSuccess;
}

}  // namespace vexlo
