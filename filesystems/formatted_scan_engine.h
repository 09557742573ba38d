// What the formatted-recovery engines (FAT folders rebuilt from directory
// sectors, NTFS files rebuilt from FILE records) share on top of the
// store-backed engine: a partition opened as the whole disk it lies on,
// since what an earlier volume left may lie anywhere there; a store and
// content tests started afresh for every scan; and slots that stay idle
// because the formatted-scan driver runs the scan and reads every sector.
//
// An engine adds its checks of the source (AcceptSource), the operations the
// driver feeds, and the reading of its records' data.
//
// The source is opened read-only. Threading: one thread at a time; nothing
// throws; errors are codes of platform/error_code.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carving/formats/carving_state.h"
#include "engine/store_backed_engine.h"

namespace vexlo {

class FormattedScanEngine : public StoreBackedEngine {
 public:
  // Does nothing: the driver feeds the engine.
  ErrorCode Scan(const std::string* earlier_record_file) final;

  uint32_t sector_bytes() const { return disk().device_sector_bytes; }

 protected:
  // `log_prefix` names the record file of a new scan; `count_root_key` is
  // the root's key when CountFiles is given no folder.
  FormattedScanEngine(ScanHistory& history, std::string_view log_prefix, uint32_t count_root_key);
  ~FormattedScanEngine() override;

  uint32_t CountRootKey() const final { return count_root_key_; }

  // Opens the store of a new scan, or with `earlier_record_file` that of an
  // earlier scan, and starts the content tests afresh. Without success the
  // engine has no store.
  ErrorCode StartScan(const std::string* earlier_record_file);

  // Sectors of the source that may be read: the disk's, bounded by the
  // partition's end.
  uint64_t medium_sectors() const;
  carving::CarvingState& carving() { return carving_; }

 private:
  uint32_t count_root_key_;
  carving::CarvingState carving_;
};

}  // namespace vexlo
