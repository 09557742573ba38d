#include "filesystems/ntfs/professional_ntfs_recovery.h"

#include <algorithm>
#include <cstring>

#include "carving/formats/signature_table.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/ntfs/run_data_stream.h"
#include "filesystems/ntfs/store_record.h"
#include "ondisk/ntfs_file_record.h"
#include "platform/text.h"
#include "storage/read_trace.h"

namespace vexlo {
namespace {

using ntfs::FileRecordSummary;

// Climbs longer than this are taken as damaged (no real tree is that deep).
constexpr std::size_t kMaxFolderDepth = 1024;
// The largest cluster NTFS makes (2 MiB), in 512-byte sectors.
constexpr uint64_t kMaxClusterSectors = 4096;
constexpr int64_t kMaxClusterBytes = 104'857'600;

bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

// The cluster size a non-resident attribute's allocation implies: its
// allocated bytes over the clusters its runs cover. 0 when that is not a
// whole power-of-two number of sectors. The runs are left in `runs`.
uint32_t ClusterSectorsOf(const ntfs::Attribute& attribute, uint32_t sector_bytes,
                          std::vector<ntfs::DataRun>* runs) {
  runs->clear();
  ntfs::NonResidentInfo info;
  if (!ntfs::ReadNonResident(attribute, &info) || info.lowest_vcn != 0) return 0;
  (void)ntfs::DecodeDataRuns(info.run_bytes, runs);
  const uint64_t clusters = ntfs::TotalClusters(*runs);
  const uint64_t allocated = ntfs::attribute::kAllocatedSize.Load(attribute.bytes);
  if (clusters == 0 || allocated % sector_bytes != 0) return 0;
  const uint64_t sectors = allocated / sector_bytes;
  if (sectors % clusters != 0) return 0;
  const uint64_t per_cluster = sectors / clusters;
  if (!IsPowerOfTwo(per_cluster) || per_cluster > kMaxClusterSectors) return 0;
  return static_cast<uint32_t>(per_cluster);
}

uint32_t ParentOf(const FileRecordSummary& summary) {
  return summary.parent_record > UINT32_MAX ? ntfs::kRootRecord
                                            : static_cast<uint32_t>(summary.parent_record);
}

bool DescribesFolder(const FileRecordSummary& summary) {
  return (summary.header.flags & ntfs::kRecordDirectory) != 0 && summary.has_name &&
         summary.header.base_record == 0;
}

}  // namespace

CProfessionalNtfsRecovery::CProfessionalNtfsRecovery(ScanHistory& history)
    : FormattedScanEngine(history, kProNtfsLogPrefix, ntfs::kRootRecord) {}

uint32_t CProfessionalNtfsRecovery::record_bytes() const {
  return ntfs::FileRecordBytes(sector_bytes());
}

ErrorCode CProfessionalNtfsRecovery::AcceptSource() {
  if (sector_bytes() < 512 || sector_bytes() % 512 != 0) return err::kNotSupported;
  work_.assign(record_bytes(), 0);
  record_.assign(record_bytes(), 0);
  sector_.assign(sector_bytes(), 0);
  return err::kSuccess;
}

// ------------------------------------------------------------- the scan

ErrorCode CProfessionalNtfsRecovery::Begin(const std::string* earlier_record_file) {
  mft_map_.Clear();
  parents_.clear();
  parent_records_.clear();
  levels_.clear();
  cluster_sectors_ = 8;
  return StartScan(earlier_record_file);
}

ErrorCode CProfessionalNtfsRecovery::FileRecord(std::span<const uint8_t> record,
                                                uint64_t sector_number) {
  const uint32_t size = record_bytes();
  if (store() == nullptr || !opened() || record.size() < size) return err::kInvalidParameter;
  std::memcpy(work_.data(), record.data(), size);
  if (!ntfs::HasFileSignature(work_)) return ntfs::kNoFileSignature;
  if ((ntfs::record::kFlags.Load(work_) & ntfs::kRecordDirectory) != 0) return err::kSuccess;
  FileRecordSummary summary;
  if (!ntfs::ApplyFixup(work_) || !ntfs::SummarizeFileRecord(work_, &summary)) {
    return err::kInvalidParameter;
  }
  // Without its own number a record cannot be keyed nor placed.
  if (!summary.header.has_number) return err::kSuccess;
  const uint32_t number = summary.header.number;
  if (number == 0) {
    LearnMft(summary, sector_number);
    return err::kSuccess;
  }
  if (number < ntfs::kFirstUserRecord || !summary.has_name || summary.header.base_record != 0) {
    return err::kSuccess;
  }
  LearnClusterSize(work_, summary.header);
  const ntfs::MftPlacement placement = mft_map_.Place(number, sector_number, cluster_sectors_,
                                                      size / sector_bytes(), partition_start());
  const std::string name = ntfs::FileNameUtf8(summary.name);
  const uint32_t content_check = ContentCheck(name, summary, placement);
  const uint32_t parent = ParentOf(summary);
  const uint32_t level = LevelOf(parent, placement);

  FoundFileRecord file = EmptyRecord();
  file.deleted = (summary.header.flags & ntfs::kRecordInUse) != 0 ? 0 : 1;
  file.content_check = content_check;
  ntfs::SetTimes(summary, &file);
  file.size = ntfs::DataSize(summary);
  file.SetName(name);
  RecordNumber record_number = 0;
  if (ErrorCode rc = ntfs::StoreRecord(*store(), file, number, PlaceOf(placement, sector_number),
                                       &record_number);
      !rc.ok()) {
    return rc;
  }
  return store()->Relate(MakeFolderKey(parent, level), record_number, number, std::nullopt);
}

void CProfessionalNtfsRecovery::LearnMft(const FileRecordSummary& summary, uint64_t sector_number) {
  if (!summary.has_name || platform::ToLowerAscii(ntfs::FileNameUtf8(summary.name)) != "$mft") {
    return;
  }
  ntfs::AttributeWalker walker(work_, summary.header);
  ntfs::Attribute attribute;
  while (walker.Next(&attribute)) {
    if (attribute.type != ntfs::kAttrData || attribute.name_length != 0) continue;
    if (!attribute.non_resident) return;
    const uint32_t per_cluster = ClusterSectorsOf(attribute, sector_bytes(), &runs_);
    mft_map_.Add(sector_number, runs_, per_cluster);
    return;
  }
}

void CProfessionalNtfsRecovery::LearnClusterSize(std::span<const uint8_t> record,
                                                 const ntfs::RecordHeader& header) {
  ntfs::AttributeWalker walker(record, header);
  ntfs::Attribute attribute;
  while (walker.Next(&attribute)) {
    // Behind an attribute list the data may be a piece of a larger whole.
    if (attribute.type == ntfs::kAttrAttributeList) return;
    if (attribute.type != ntfs::kAttrData) continue;
    if (!attribute.non_resident) return;
    if (const uint32_t per_cluster = ClusterSectorsOf(attribute, sector_bytes(), &runs_)) {
      cluster_sectors_ = per_cluster;
    }
    return;
  }
}

uint32_t CProfessionalNtfsRecovery::ContentCheck(std::string_view name,
                                                 const FileRecordSummary& summary,
                                                 const ntfs::MftPlacement& placement) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty() || !summary.has_data) return 1;
  if (summary.data_resident) {
    if (summary.resident_data.empty()) return 0;
    return carving::CheckTypeByExtension(carving(), summary.resident_data.data(),
                                         summary.resident_data.size(), extension, &disk(),
                                         sector_bytes(), 0)
               ? 1
               : 0;
  }
  runs_.clear();
  (void)ntfs::DecodeDataRuns(summary.data.run_bytes, &runs_);
  if (runs_.empty() || runs_.front().sparse) return 1;
  uint64_t sector = 0;
  if (__builtin_mul_overflow(runs_.front().first_cluster, uint64_t{placement.cluster_sectors},
                             &sector) ||
      __builtin_add_overflow(sector, placement.partition_start, &sector) ||
      sector >= medium_sectors()) {
    return 1;
  }
  uint64_t sectors_read = 0;
  (void)ReadSectors(1, disk(), sector_.data(), sector, sector_bytes(), &sectors_read);
  if (sectors_read != 1) return 1;
  return carving::CheckTypeByExtension(carving(), sector_.data(), sector_.size(), extension,
                                       &disk(), sector_bytes(), sector)
             ? 1
             : 0;
}

bool CProfessionalNtfsRecovery::ReadRecordAt(uint64_t sector_number, FileRecordSummary* summary) {
  const uint64_t sectors = record_bytes() / sector_bytes();
  if (!opened() || sector_number >= medium_sectors() ||
      medium_sectors() - sector_number < sectors) {
    return false;
  }
  uint64_t sectors_read = 0;
  (void)ReadSectors(sectors, disk(), record_.data(), sector_number, sector_bytes(), &sectors_read);
  return sectors_read == sectors && ntfs::HasFileSignature(record_) && ntfs::ApplyFixup(record_) &&
         ntfs::SummarizeFileRecord(record_, summary);
}

// Level of folder `parent` below the root (root 0). Every folder met on the
// climb is remembered with the placement that found it, to be written at
// Finish; a folder whose record cannot be read or no longer describes a
// folder ends the climb and sits directly below the root.
uint32_t CProfessionalNtfsRecovery::LevelOf(uint64_t parent, const ntfs::MftPlacement& placement) {
  if (parent == ntfs::kRootRecord) return 0;
  const auto start = static_cast<uint32_t>(parent);
  if (auto it = levels_.find(start); it != levels_.end()) return it->second;
  chain_.clear();
  uint32_t base = 0;
  for (uint32_t current = start;;) {
    if (current == ntfs::kRootRecord) break;
    if (auto it = levels_.find(current); it != levels_.end()) {
      base = it->second;
      break;
    }
    // Folders that name each other, or a chain deeper than any real tree:
    // the last one hangs below the root.
    if (chain_.size() >= kMaxFolderDepth ||
        std::find(chain_.begin(), chain_.end(), current) != chain_.end()) {
      break;
    }
    chain_.push_back(current);
    if (parent_records_.insert(current).second) parents_.push_back(Parent{current, placement});
    FileRecordSummary summary;
    const std::optional<uint64_t> sector = placement.RecordSector(current);
    if (!sector || !ReadRecordAt(*sector, &summary) || !DescribesFolder(summary)) break;
    current = ParentOf(summary);
  }
  uint32_t level = base;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) levels_[*it] = ++level;
  return levels_[start];
}

ErrorCode CProfessionalNtfsRecovery::Finish() {
  if (store() == nullptr) return err::kInvalidParameter;
  // Writing a folder may climb to folders not met before: walk by position.
  for (std::size_t i = 0; i < parents_.size(); ++i) {
    const Parent parent = parents_[i];
    if (ErrorCode rc = EmitFolder(parent); !rc.ok()) return rc;
  }
  return store()->Flush();
}

ErrorCode CProfessionalNtfsRecovery::EmitFolder(const Parent& folder) {
  FileRecordSummary summary;
  const std::optional<uint64_t> sector = folder.placement.RecordSector(folder.record);
  if (!sector || !ReadRecordAt(*sector, &summary) || !DescribesFolder(summary)) {
    return AddLostFolder(folder.record, folder.placement);
  }
  // The summary refers into record_, which the level climb may reuse.
  FoundFileRecord image = EmptyRecord();
  image.deleted = (summary.header.flags & ntfs::kRecordInUse) != 0 ? 0 : 1;
  ntfs::SetTimes(summary, &image);
  image.SetName(ntfs::FileNameUtf8(summary.name));
  image.is_folder = 1;
  image.content_check = 1;
  const uint32_t parent = ParentOf(summary);
  const uint32_t parent_level = LevelOf(parent, folder.placement);
  const uint32_t own_level = levels_[folder.record];

  RecordNumber record_number = 0;
  if (ErrorCode rc = ntfs::StoreRecord(*store(), image, folder.record,
                                       PlaceOf(folder.placement, *sector), &record_number);
      !rc.ok()) {
    return rc;
  }
  // A folder whose parent does not sit one level up (records that name each
  // other) hangs below the root at the level its climb gave it.
  FolderKey parent_key = MakeFolderKey(parent, parent_level);
  if (parent_level + 1 != own_level) parent_key = MakeFolderKey(ntfs::kRootRecord, 0);
  return store()->Relate(parent_key, record_number, folder.record, image.Name());
}

ErrorCode CProfessionalNtfsRecovery::AddLostFolder(uint32_t number,
                                                   const ntfs::MftPlacement& placement) {
  return ntfs::StoreLostFolder(*store(), number, false, PlaceOf(placement, 0));
}

ntfs::RecordPlace CProfessionalNtfsRecovery::PlaceOf(const ntfs::MftPlacement& placement,
                                                     uint64_t entry_sector) const {
  return {source_id(), FsKind::kNtfsFormatted,
          static_cast<int32_t>(placement.cluster_sectors * sector_bytes()), entry_sector,
          placement.partition_start};
}

// ------------------------------------------------------------- data

ErrorCode CProfessionalNtfsRecovery::RecordDataRuns(const FoundFileRecord& record,
                                                    std::vector<ntfs::DataRun>* runs) {
  runs->clear();
  FileRecordSummary summary;
  if (!ReadRecordAt(record.entry_sector, &summary)) return err::kReadFault;
  if (summary.has_data && !summary.data_resident) {
    (void)ntfs::DecodeDataRuns(summary.data.run_bytes, runs);
  }
  return err::kSuccess;
}

bool CProfessionalNtfsRecovery::FirstDataSector(const FoundFileRecord& record, uint64_t* sector) {
  const uint32_t sector_bytes = this->sector_bytes();
  if (record.cluster_bytes <= 0 || record.cluster_bytes % sector_bytes != 0) return false;
  if (!RecordDataRuns(record, &runs_).ok() || runs_.empty() || runs_.front().sparse) return false;
  const uint64_t cluster_sectors = static_cast<uint64_t>(record.cluster_bytes) / sector_bytes;
  return !__builtin_mul_overflow(runs_.front().first_cluster, cluster_sectors, sector) &&
         !__builtin_add_overflow(*sector, record.partition_start, sector);
}

bool CProfessionalNtfsRecovery::ListedDataRuns(const FoundFileRecord& record,
                                               const FileRecordSummary& summary,
                                               std::vector<ntfs::DataRun>* runs) {
  const uint64_t start = record.partition_start;
  if (!list_volume_ || list_volume_start_ != start) {
    list_volume_.emplace();
    list_volume_start_ = start;
    list_volume_open_ = start < medium_sectors() &&
                        list_volume_->Open(&disk(), start, medium_sectors() - start).ok();
  }
  // Another volume now at that place names other records by these numbers.
  if (!list_volume_open_ ||
      list_volume_->geometry().cluster_bytes != static_cast<uint64_t>(record.cluster_bytes)) {
    return false;
  }
  uint64_t size = 0;
  return list_volume_->ResolveData(summary, record.key, runs, &size).ok() && !runs->empty();
}

ErrorCode CProfessionalNtfsRecovery::ReadRecordData(const FoundFileRecord& record,
                                                    uint64_t max_bytes,
                                                    const RecordDataSink& sink) {
  FileRecordSummary summary;
  // A record that is no longer there has no data to give.
  if (!ReadRecordAt(record.entry_sector, &summary)) return err::kReadFault;
  const uint64_t size = std::min(uint64_t{record.size}, max_bytes);
  std::vector<ntfs::DataRun> runs;
  const bool listed = summary.has_attribute_list && ListedDataRuns(record, summary, &runs);
  if (!summary.has_data && !listed) return err::kSuccess;
  if (summary.has_data && summary.data_resident) {
    const auto data =
        summary.resident_data.first(std::min<uint64_t>(size, summary.resident_data.size()));
    // The record was fixed up in place: its bytes are no longer the medium's.
    ReadTrace::Forget(data.data(), data.size());
    return sink(data, data.size());
  }
  const uint32_t sector_bytes = this->sector_bytes();
  const int64_t cluster_bytes = record.cluster_bytes;
  if (cluster_bytes > kMaxClusterBytes) return err::kWriteFault;
  if (cluster_bytes <= 0 || cluster_bytes % sector_bytes != 0) return err::kInvalidParameter;
  const uint64_t cluster_sectors = static_cast<uint64_t>(cluster_bytes) / sector_bytes;
  const uint64_t partition_start = record.partition_start;
  if (!listed) (void)ntfs::DecodeDataRuns(summary.data.run_bytes, &runs);
  // No file is larger than the medium that holds it; a damaged size must not
  // turn holes into an endless stream of zeros.
  return ntfs::StreamRunData(
      runs, static_cast<uint64_t>(cluster_bytes), sector_bytes,
      std::min(size, medium_sectors() * sector_bytes),
      [&](const ntfs::DataRun& run, uint64_t offset, std::span<uint8_t> out) -> ErrorCode {
        uint64_t first = 0;
        if (__builtin_mul_overflow(run.first_cluster, cluster_sectors, &first) ||
            __builtin_add_overflow(first, partition_start + offset / sector_bytes, &first)) {
          return err::kInvalidParameter;
        }
        const uint64_t count = out.size() / sector_bytes;
        uint64_t sectors_read = 0;
        ErrorCode rc = ReadSectors(count, disk(), out.data(), first, sector_bytes, &sectors_read);
        return sectors_read == count ? ErrorCode(err::kSuccess)
                                     : (rc.ok() ? ErrorCode(err::kReadFault) : rc);
      },
      sink);
}

}  // namespace vexlo
