#include "carving/file_type_recovery.h"

#include <algorithm>

#include "carving/formats/photo_judge.h"
#include "carving/formats/type_codes.h"
#include "carving/metadata_sector.h"
#include "carving/walk_window.h"
#include "engine/contiguous_read.h"

namespace vexlo {
namespace {

constexpr std::size_t kRangeReadBytes = 65536;

// The bytes of a carved file that lie where `disk`, an image, holds zeros
// for sectors its copy could not read.
uint64_t BytesFromBadAreas(const DiskHandle& disk, const FoundFileRecord& record,
                           uint32_t sector_bytes) {
  const KnownBadAreas* areas = disk.known_bad.get();
  if (areas == nullptr) return 0;
  const uint64_t begin = record.entry_sector * sector_bytes;
  return areas->BytesIn(begin, begin + record.size);
}

}  // namespace

CFileTypeRecovery::CFileTypeRecovery(ScanHistory& history)
    : StoreBackedEngine(history, kFileTypeLogPrefix, RecordLayout::kFlat, {.open_store = true},
                        carving::PhotoWhole) {
  state_.SetMetadataTest(carving::MetadataSectorTest);
}

CFileTypeRecovery::~CFileTypeRecovery() = default;

ErrorCode CFileTypeRecovery::StartScan(const std::string* earlier_record_file) {
  remeasure_.reset();
  if (ErrorCode rc = OpenStore(earlier_record_file); !rc.ok()) return rc;
  state_.ResetForScan();
  return err::kSuccess;
}

void CFileTypeRecovery::ContinueAt(uint64_t sector_number,
                                   const carving::StreamHistory::Flags& flags) {
  state_.streams().RestoreFlags(flags);
  remeasure_.reset();
  ScanResultStore* store = this->store();
  FoundFileRecord last{};
  if (store == nullptr || store->Count() == 0 || !store->ReadRecord(store->Count(), &last).ok()) {
    return;
  }
  if (last.entry_sector == sector_number) {
    remeasure_ = Remeasure{sector_number, last.record_number};
  }
}

ErrorCode CFileTypeRecovery::SetProgressCallbacks(ScanProgressCallback scan,
                                                  RecoveryProgressCallback recovery, void* user,
                                                  int32_t scale) {
  state_.progress().SetCallback(scan, user, scale);
  return StoreBackedEngine::SetProgressCallbacks(scan, recovery, user, scale);
}

ErrorCode CFileTypeRecovery::Scan(const std::string*) { return err::kSuccess; }

ErrorCode CFileTypeRecovery::ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                                            const RecordDataSink& sink) {
  return ReadContiguous(disk(), {record.entry_sector, record.size, sector_bytes_}, max_bytes, sink);
}

uint64_t CFileTypeRecovery::UnreadableBytes(const FoundFileRecord& record) const {
  return BytesFromBadAreas(disk(), record, sector_bytes_);
}

ErrorCode CFileTypeRecovery::CarveSector(uint32_t sector_bytes, const uint8_t* sector,
                                         std::size_t length, uint64_t sector_number,
                                         const carving::ProgressPoint& progress, DiskHandle& source,
                                         uint64_t* skip_count, uint64_t* found_count) {
  sector_bytes_ = sector_bytes;
  *skip_count = 1;
  const carving::StreamHistory::Flags flags_before = state_.streams().flags();
  carving::Identification found;
  const ErrorCode identified = carving::IdentifyAtSector(
      state_, sector_bytes, &source, sector, length, sector_number, progress, *found_count, &found);
  std::optional<RecordNumber> remeasured;
  if (remeasure_ && remeasure_->entry_sector <= sector_number) {
    if (remeasure_->entry_sector == sector_number) remeasured = remeasure_->number;
    remeasure_.reset();
  }
  // A cancelled length search still leaves a file worth listing, with the
  // length reached.
  if (!identified.ok() && identified != kCancelCode) return identified;
  if (identified == kCancelCode) {
    // A continued scan measures this file again from here, as the
    // identifications before it left the carving state.
    state_.streams().RestoreFlags(flags_before);
  }
  ScanResultStore* store = this->store();
  if (store == nullptr) return err::kInvalidParameter;
  FoundFileRecord fresh{};
  FoundFileRecord* record = &fresh;
  if (!remeasured) {
    if (ErrorCode rc = store->NewRecord(&record); !rc.ok()) return rc;
  }
  record->source_id = source_id();
  record->fs_kind = static_cast<uint32_t>(FsKind::kCarving);
  record->cluster_bytes = -1;
  record->size = found.length_bytes;
  record->entry_sector = sector_number;
  // Its length search read zeros where the copy of an image failed, or its
  // own checksums fail: the file is listed, but as damaged.
  record->content_check =
      !found.damaged && BytesFromBadAreas(source, *record, sector_bytes) == 0 ? 1 : 0;
  record->SetName(found.name);
  if (remeasured) {
    record->record_number = *remeasured;
    if (ErrorCode rc = store->RewriteRecord(*record); !rc.ok()) return rc;
  } else if (ErrorCode rc = store->Relate(0, record->record_number, 0, std::nullopt); !rc.ok()) {
    return rc;
  }
  if (!carving::code::SkipsOneSectorOnly(found.type_code)) {
    // Never 0, so that the caller always moves on.
    *skip_count = std::max<uint64_t>(1, (found.length_bytes + sector_bytes - 1) / sector_bytes);
  }
  ++*found_count;
  return identified;
}

uint64_t CFileTypeRecovery::ResumeSector(uint64_t sector_number, uint64_t skip_count) {
  return state_.ResumeSector(sector_number, skip_count);
}

ErrorCode CFileTypeRecovery::CarveRange(uint64_t first_sector, uint64_t sector_count) {
  ScanResultStore* store = this->store();
  if (store == nullptr || !disk().is_open()) return err::kInvalidParameter;
  const uint32_t sector_bytes = sector_bytes_;
  if (sector_bytes == 0 || kRangeReadBytes % sector_bytes != 0) return err::kInvalidParameter;
  carving::WalkWindow window(state_, sector_bytes, kRangeReadBytes);
  const uint64_t per_read = kRangeReadBytes / sector_bytes;
  const uint64_t end = first_sector + sector_count;
  uint64_t found_count = store->Count();
  ErrorCode result = err::kSuccess;
  for (uint64_t sector = first_sector; sector < end;) {
    if (sector >= window.end()) {
      const uint64_t want = std::min(per_read, end - sector);
      uint64_t sectors_read = 0;
      const uint64_t held = window.Hold(disk(), sector, want, &sectors_read);
      const uint64_t done = sector - first_sector;
      const auto percent =
          static_cast<int32_t>(sector_count == 0 ? 100 : done * 100 / sector_count);
      if (ReportScan(percent, -1, done, sector_count, found_count) == kCancelCode) {
        result = kCancelCode;
        break;
      }
      if (held == 0) {
        ++sector;  // unreadable: carving goes on right behind it
        continue;
      }
    }
    uint64_t skip = 1;
    const ErrorCode rc =
        CarveSector(sector_bytes, window.At(sector), sector_bytes, sector,
                    {sector - first_sector, sector_count, -1}, disk(), &skip, &found_count);
    if (rc == kCancelCode) {
      result = kCancelCode;
      break;
    }
    if (rc.ok()) {
      sector = ResumeSector(sector, skip);
      window.Absorb(sector);
    } else {
      sector += skip;
    }
  }
  const ErrorCode flushed = store->Flush();
  return result == kCancelCode ? result : flushed;
}

}  // namespace vexlo
