#include "filesystems/ntfs/fast_ntfs_recovery.h"

#include <algorithm>

#include "carving/formats/photo_judge.h"
#include "carving/formats/signature_table.h"
#include "filesystems/ntfs/run_data_stream.h"
#include "filesystems/ntfs/store_record.h"
#include "storage/read_trace.h"

namespace vexlo {
namespace {

using ntfs::FileRecordSummary;

// Climbs longer than this are taken as damaged (no real tree is that deep).
constexpr std::size_t kMaxFolderDepth = 4096;
constexpr uint32_t kNoRecord = 0xFFFFFFFF;

}  // namespace

CFastNtfsRecovery::CFastNtfsRecovery(ScanHistory& history)
    : StoreBackedEngine(history, kFastLogPrefix, RecordLayout::kFolderTree, {},
                        carving::PhotoWhole) {}

CFastNtfsRecovery::~CFastNtfsRecovery() = default;

ErrorCode CFastNtfsRecovery::AcceptSource() {
  used_bitmap_.clear();
  bitmap_valid_bytes_ = 0;
  if (ErrorCode rc = volume_.Open(&disk(), partition_start(), partition_sectors()); !rc.ok()) {
    return rc;
  }
  const uint32_t record_bytes = volume_.geometry().record_bytes;
  record_.assign(record_bytes, 0);
  batch_.assign(std::size_t{record_bytes} * kNtfsScanBatchRecords, 0);
  sector_.assign(volume_.geometry().sector_bytes, 0);
  return err::kSuccess;
}

// ---------------------------------------------------------------- scanning

ErrorCode CFastNtfsRecovery::Scan(const std::string* earlier_record_file) {
  if (earlier_record_file != nullptr) return OpenStore(earlier_record_file);
  if (!opened()) return open_result();
  if (ErrorCode rc = OpenStore(nullptr); !rc.ok()) return rc;
  parent_list_.clear();
  levels_.clear();
  return ScanMft();
}

ErrorCode CFastNtfsRecovery::ReportMftProgress(uint64_t sectors_done, uint64_t sectors_total) {
  if (scan_callback() == nullptr) return err::kSuccess;
  const int32_t remaining =
      scale() == 100 ? clock().Update(sectors_done, sectors_total) : clock().seconds();
  const auto progress =
      static_cast<int32_t>(sectors_total == 0 ? 100 : sectors_done * 100 / sectors_total);
  return ReportScan(progress, remaining);
}

ErrorCode CFastNtfsRecovery::ScanMft() {
  const ntfs::NtfsGeometry& geometry = volume_.geometry();
  const uint64_t record_bytes = geometry.record_bytes;
  const uint64_t record_count = volume_.mft_record_count();
  const uint64_t sectors_total = record_count * record_bytes / geometry.sector_bytes;
  clock().Start();

  uint64_t number = 0;
  while (number < record_count) {
    // A batch never leaves the run that holds its first record, so that it
    // is one read of consecutive bytes.
    uint64_t batch = std::min<uint64_t>(kNtfsScanBatchRecords, record_count - number);
    uint64_t first_offset = 0;
    uint64_t last_offset = 0;
    const bool mapped = volume_.RecordOffset(number, &first_offset);
    while (mapped && batch > 1 &&
           (!volume_.RecordOffset(number + batch - 1, &last_offset) ||
            last_offset != first_offset + (batch - 1) * record_bytes)) {
      batch /= 2;
    }
    const std::span<uint8_t> bytes(batch_.data(), batch * record_bytes);
    const bool batch_read = mapped && volume_.ReadBytes(first_offset, bytes).ok();
    for (uint64_t i = 0; i < batch; ++i) {
      const uint64_t current = number + i;
      if (current < ntfs::kFirstUserRecord) continue;
      std::span<uint8_t> record = bytes.subspan(i * record_bytes, record_bytes);
      if (batch_read) {
        // Only records that are neither in use nor directories are looked
        // at; the flags lie before the first fix-up position.
        if (!ntfs::HasFileSignature(record) || ntfs::record::kFlags.Load(record) != 0 ||
            !ntfs::ApplyFixup(record)) {
          continue;
        }
      } else if (!volume_.ReadRecord(current, record).ok() ||
                 ntfs::record::kFlags.Load(record) != 0) {
        // An unreadable stretch costs only the records it holds.
        continue;
      }
      if (ErrorCode rc = ScanRecord(current, record); !rc.ok()) return rc;
    }
    number += batch;
    if (ErrorCode rc =
            ReportMftProgress(number * record_bytes / geometry.sector_bytes, sectors_total);
        !rc.ok()) {
      return rc;
    }
  }

  // Folders on the paths of what was found; the walk may append more.
  for (std::size_t i = 0; i < parent_list_.size(); ++i) {
    if (ErrorCode rc = EmitFolder(parent_list_[i]); !rc.ok()) return rc;
  }
  if (ErrorCode rc = store()->Flush(); !rc.ok()) return rc;
  return ReportScan(100, clock().seconds());
}

ErrorCode CFastNtfsRecovery::ScanRecord(uint64_t number, std::span<uint8_t> record) {
  FileRecordSummary summary;
  if (!ntfs::SummarizeFileRecord(record, &summary) || !summary.has_name ||
      summary.header.base_record != 0 || number > UINT32_MAX) {
    return err::kSuccess;
  }
  uint64_t size = ntfs::DataSize(summary);
  if (summary.has_data || summary.has_attribute_list) {
    // Damaged runs mean the record cannot describe its data: skip it.
    ErrorCode rc = volume_.ResolveData(summary, number, &runs_, &size);
    if (rc == err::kInvalidParameter) return err::kSuccess;
    if (!rc.ok()) size = ntfs::DataSize(summary);
  }
  const std::string name = ntfs::FileNameUtf8(summary.name);
  const uint32_t content_check = ContentCheck(name, summary);
  const uint32_t level = LevelOf(summary.parent_record);

  FoundFileRecord file = EmptyRecord();
  file.deleted = 1;
  file.content_check = content_check;
  ntfs::SetTimes(summary, &file);
  file.size = size;
  file.SetName(name);
  RecordNumber record_number = 0;
  if (ErrorCode rc = ntfs::StoreRecord(*store(), file, static_cast<uint32_t>(number),
                                       PlaceOf(static_cast<uint32_t>(number)), &record_number);
      !rc.ok()) {
    return rc;
  }
  const auto parent = static_cast<uint32_t>(
      summary.parent_record > UINT32_MAX ? ntfs::kRootRecord : summary.parent_record);
  return store()->Relate(MakeFolderKey(parent, level), record_number, static_cast<uint32_t>(number),
                         std::nullopt);
}

uint32_t CFastNtfsRecovery::ContentCheck(std::string_view name, const FileRecordSummary& summary) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty()) return 1;
  const ntfs::NtfsGeometry& geometry = volume_.geometry();
  if (summary.has_data && summary.data_resident) {
    if (summary.resident_data.empty()) return 0;
    return carving::CheckTypeByExtension(carving_state_, summary.resident_data.data(),
                                         summary.resident_data.size(), extension, &disk(),
                                         geometry.sector_bytes, summary.header.number)
               ? 1
               : 0;
  }
  if (runs_.empty() || runs_.front().sparse) return 1;
  const uint64_t cluster = runs_.front().first_cluster;
  if (!volume_.ReadBytes(volume_.ClusterOffset(cluster), sector_).ok()) return 1;
  const uint64_t sector_number = volume_.partition_start() + cluster * geometry.sectors_per_cluster;
  return carving::CheckTypeByExtension(carving_state_, sector_.data(), sector_.size(), extension,
                                       &disk(), geometry.sector_bytes, sector_number)
             ? 1
             : 0;
}

void CFastNtfsRecovery::AddParent(uint32_t number) {
  if (levels_.count(number) == 0) parent_list_.push_back(number);
}

// Level of a folder below the root (root 0). Every folder met on the climb
// joins the parent list and keeps its level, so each is read once per scan.
// The climb ends at the root, at a folder already known, at a record that is
// no directory any more, or at a loop.
uint32_t CFastNtfsRecovery::LevelOf(uint64_t parent) {
  if (parent == ntfs::kRootRecord || parent > UINT32_MAX) return 0;
  if (auto known = levels_.find(static_cast<uint32_t>(parent)); known != levels_.end()) {
    return known->second;
  }
  chain_.clear();
  uint64_t current = parent;
  uint32_t base = 0;
  while (true) {
    if (current == ntfs::kRootRecord || current > UINT32_MAX) break;
    const auto number = static_cast<uint32_t>(current);
    if (auto known = levels_.find(number); known != levels_.end()) {
      base = known->second;
      break;
    }
    if (std::find(chain_.begin(), chain_.end(), number) != chain_.end() ||
        chain_.size() >= kMaxFolderDepth) {
      break;
    }
    chain_.push_back(number);
    AddParent(number);
    levels_.emplace(number, kNoRecord);  // placeholder: in the list, level below
    FileRecordSummary summary;
    if (!volume_.ReadRecord(number, record_).ok() ||
        !ntfs::SummarizeFileRecord(record_, &summary) ||
        !(summary.header.flags & ntfs::kRecordDirectory) || !summary.has_name) {
      break;
    }
    current = summary.parent_record;
  }
  uint32_t level = base;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) levels_[*it] = ++level;
  return levels_[static_cast<uint32_t>(parent)];
}

ErrorCode CFastNtfsRecovery::AddLostFolder(uint32_t number) {
  // A lost folder sits at level 1, which LevelOf gave it when the climb
  // stopped at its record.
  levels_[number] = 1;
  return ntfs::StoreLostFolder(*store(), number, true, {source_id(), FsKind::kNtfsQuick, -1, 0, 0});
}

ntfs::RecordPlace CFastNtfsRecovery::PlaceOf(uint32_t number) {
  return {source_id(), FsKind::kNtfsQuick, static_cast<int32_t>(volume_.geometry().cluster_bytes),
          volume_.RecordSector(number), volume_.partition_start()};
}

ErrorCode CFastNtfsRecovery::EmitFolder(uint32_t number) {
  FileRecordSummary summary;
  if (!volume_.ReadRecord(number, record_).ok() || !ntfs::SummarizeFileRecord(record_, &summary) ||
      !(summary.header.flags & ntfs::kRecordDirectory) || !summary.has_name ||
      summary.header.base_record != 0) {
    return AddLostFolder(number);
  }
  const std::string name = ntfs::FileNameUtf8(summary.name);
  const uint64_t parent = summary.parent_record;
  const uint32_t own_level = levels_[number];
  const uint32_t parent_level = LevelOf(parent);
  // The summary refers into record_, which LevelOf may have reused: take
  // what is needed first.
  FoundFileRecord folder = EmptyRecord();
  folder.is_folder = 1;
  folder.deleted = (summary.header.flags & ntfs::kRecordInUse) ? 0 : 1;
  folder.content_check = 1;
  ntfs::SetTimes(summary, &folder);
  folder.SetName(name);
  RecordNumber record_number = 0;
  if (ErrorCode rc = ntfs::StoreRecord(*store(), folder, number, PlaceOf(number), &record_number);
      !rc.ok()) {
    return rc;
  }
  // A folder whose parent does not sit one level up (a loop in damaged
  // records) hangs below the root at the level its climb gave it.
  FolderKey parent_key = MakeFolderKey(static_cast<uint32_t>(parent), parent_level);
  if (parent > UINT32_MAX || parent_level + 1 != own_level) {
    parent_key = MakeFolderKey(ntfs::kRootRecord, 0);
  }
  return store()->Relate(parent_key, record_number, number, std::string_view(folder.Name()));
}

// ------------------------------------------------------------ copying data

ErrorCode CFastNtfsRecovery::ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                                            const RecordDataSink& sink) {
  if (ErrorCode rc = volume_.ReadRecord(record.key, record_); !rc.ok()) return rc;
  FileRecordSummary summary;
  if (!ntfs::SummarizeFileRecord(record_, &summary)) return ntfs::kNoFileSignature;
  const uint64_t size = std::min(uint64_t{record.size}, max_bytes);
  if (summary.has_data && summary.data_resident) {
    const auto data =
        summary.resident_data.first(std::min<uint64_t>(size, summary.resident_data.size()));
    // The record was fixed up in place: its bytes are no longer the medium's.
    ReadTrace::Forget(data.data(), data.size());
    return sink(data, data.size());
  }
  uint64_t stream_size = 0;
  if (ErrorCode rc = volume_.ResolveData(summary, record.key, &runs_, &stream_size); !rc.ok()) {
    return rc;
  }
  return ntfs::StreamRunData(
      runs_, volume_.geometry().cluster_bytes, disk().device_sector_bytes, size,
      [this](const ntfs::DataRun& run, uint64_t offset, std::span<uint8_t> out) {
        return volume_.ReadBytes(volume_.ClusterOffset(run.first_cluster) + offset, out);
      },
      sink);
}

// ---------------------------------------------------------------- free space

ErrorCode CFastNtfsRecovery::BuildUsedClusterBitmap() {
  used_bitmap_.clear();
  bitmap_valid_bytes_ = 0;
  if (!opened()) return err::kSuccess;
  constexpr uint32_t kBitmapRecord = 6;
  FileRecordSummary summary;
  uint64_t size = 0;
  if (!volume_.ReadRecord(kBitmapRecord, record_).ok() ||
      !ntfs::SummarizeFileRecord(record_, &summary) ||
      !volume_.ResolveData(summary, kBitmapRecord, &runs_, &size).ok()) {
    return err::kSuccess;
  }
  // One bit per cluster: never more than the volume needs.
  const uint64_t needed = (volume_.volume_clusters() + 7) / 8;
  if (!volume_.ReadRunData(runs_, std::min(size, needed), &used_bitmap_).ok()) {
    used_bitmap_.clear();
    return err::kSuccess;
  }
  bitmap_valid_bytes_ = used_bitmap_.size();
  return err::kSuccess;
}

int32_t CFastNtfsRecovery::NextFreeRange(uint64_t* sector, uint64_t* length_sectors) {
  if (bitmap_valid_bytes_ == 0) return 0;
  const uint64_t per_cluster = volume_.geometry().sectors_per_cluster;
  const uint64_t partition_sectors = volume_.volume_clusters() * per_cluster;
  *length_sectors = 0;
  if (*sector >= partition_sectors) {
    *sector = partition_sectors;
    return 1;
  }
  const uint64_t bits = std::min(bitmap_valid_bytes_ * 8, volume_.volume_clusters());
  auto used = [&](uint64_t cluster) { return (used_bitmap_[cluster / 8] >> (cluster % 8)) & 1; };
  uint64_t cluster = *sector / per_cluster;
  while (cluster < bits) {
    if (cluster % 8 == 0 && used_bitmap_[cluster / 8] == 0xFF) {
      cluster += 8;
    } else if (used(cluster)) {
      ++cluster;
    } else {
      break;
    }
  }
  if (cluster >= bits) {
    *sector = partition_sectors;
    return 1;
  }
  uint64_t end = cluster;
  while (end < bits) {
    if (end % 8 == 0 && used_bitmap_[end / 8] == 0 && end + 8 <= bits) {
      end += 8;
    } else if (!used(end)) {
      ++end;
    } else {
      break;
    }
  }
  *sector = cluster * per_cluster;
  *length_sectors = std::min(end * per_cluster, partition_sectors) - *sector;
  return 1;
}

}  // namespace vexlo
