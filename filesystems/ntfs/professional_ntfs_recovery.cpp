#include "filesystems/ntfs/professional_ntfs_recovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "carving/formats/signature_table.h"
#include "engine/scan_history.h"
#include "engine/store_queries.h"
#include "filesystems/ntfs/file_record_sector.h"
#include "filesystems/ntfs/ntfs_bytes.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/record_output.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vexlo {
namespace {

using ntfs::FileRecordSummary;

constexpr std::size_t kFlagsField = 22;
constexpr std::size_t kAllocatedSizeField = 40;  // of a non-resident attribute
constexpr std::size_t kCopyPieceBytes = 65536;
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
  const uint64_t allocated = ntfs::Le64(&attribute.bytes[kAllocatedSizeField]);
  if (clusters == 0 || allocated % sector_bytes != 0) return 0;
  const uint64_t sectors = allocated / sector_bytes;
  if (sectors % clusters != 0) return 0;
  const uint64_t per_cluster = sectors / clusters;
  if (!IsPowerOfTwo(per_cluster) || per_cluster > kMaxClusterSectors) return 0;
  return static_cast<uint32_t>(per_cluster);
}

// Times shown for a record: the standard information's, which the file
// system keeps current, else the file name's, which change only on rename.
void SetTimes(const FileRecordSummary& summary, FoundFileRecord* record) {
  const bool standard = summary.has_standard_times;
  record->created = standard ? summary.standard_times.created : summary.name.created;
  record->modified = standard ? summary.standard_times.modified : summary.name.modified;
  record->accessed = standard ? summary.standard_times.accessed : summary.name.accessed;
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

CProfessionalNtfsRecovery::CProfessionalNtfsRecovery() = default;

CProfessionalNtfsRecovery::~CProfessionalNtfsRecovery() {
  store_.reset();
  CloseDiskHandle(disk_);
}

uint32_t CProfessionalNtfsRecovery::record_bytes() const {
  return ntfs::FileRecordBytes(disk_.device_sector_bytes);
}

ErrorCode CProfessionalNtfsRecovery::OpenImage(const std::filesystem::path& image_path,
                                               uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenImageFile(image_path, &disk); !rc.ok()) return rc;
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), 0, sectors, source_id);
}

ErrorCode CProfessionalNtfsRecovery::OpenPartition(uint32_t disk_number, uint64_t first_sector,
                                                   uint64_t /*sector_count*/, uint16_t source_id) {
  DiskHandle disk;
  if (ErrorCode rc = OpenPhysicalDisk(disk_number, &disk); !rc.ok()) {
    CloseDiskHandle(disk);
    return rc;
  }
  // An MFT of an earlier volume may place records anywhere on the disk.
  const uint64_t sectors = disk.total_sectors;
  return OpenOnDisk(std::move(disk), first_sector, sectors, source_id);
}

ErrorCode CProfessionalNtfsRecovery::OpenOnDisk(DiskHandle disk, uint64_t partition_start,
                                                uint64_t partition_sectors, uint16_t source_id) {
  CloseDiskHandle(disk_);
  disk_ = std::move(disk);
  source_id_ = source_id;
  partition_start_ = partition_start;
  medium_sectors_ = std::min(disk_.total_sectors, partition_start + partition_sectors);
  const uint32_t sector_bytes = disk_.device_sector_bytes;
  open_ = sector_bytes >= 512 && sector_bytes % 512 == 0;
  if (!open_) return err::kNotSupported;
  work_.assign(record_bytes(), 0);
  record_.assign(record_bytes(), 0);
  sector_.assign(sector_bytes, 0);
  carving_.sector_bytes = sector_bytes;
  carving_.source = &disk_;
  return err::kSuccess;
}

ErrorCode CProfessionalNtfsRecovery::SetProgressCallbacks(ScanProgressCallback /*scan*/,
                                                          RecoveryProgressCallback recovery,
                                                          void* user, int32_t /*scale*/) {
  recovery_callback_ = recovery;
  user_ = user;
  return err::kSuccess;
}

ErrorCode CProfessionalNtfsRecovery::Scan(const std::string* /*earlier_record_file*/) {
  return err::kSuccess;
}

// ------------------------------------------------------------- the scan

ErrorCode CProfessionalNtfsRecovery::Begin(const std::string* earlier_record_file) {
  store_.reset();
  mft_map_.Clear();
  parents_.clear();
  parent_records_.clear();
  levels_.clear();
  cluster_sectors_ = 8;
  auto store = std::make_unique<ScanResultStore>();
  const std::string name = earlier_record_file != nullptr
                               ? *earlier_record_file
                               : ScanLogFileName(kProNtfsLogPrefix, partition_start_);
  if (ErrorCode rc = store->Open(ScanHistory::Instance().CurrentFolder(), name); !rc.ok()) {
    return rc;
  }
  store->SetSearchCallback(search_callback_, search_user_);
  store_ = std::move(store);
  carving_.ResetForScan();
  return err::kSuccess;
}

ErrorCode CProfessionalNtfsRecovery::FileRecord(std::span<const uint8_t> record,
                                                uint64_t sector_number) {
  const uint32_t size = record_bytes();
  if (!store_ || !open_ || record.size() < size) return err::kInvalidParameter;
  std::memcpy(work_.data(), record.data(), size);
  if (!ntfs::HasFileSignature(work_)) return ntfs::kNoFileSignature;
  if ((ntfs::Le16(&work_[kFlagsField]) & ntfs::kRecordDirectory) != 0) return err::kSuccess;
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
                                                      size / sector_bytes(), partition_start_);
  const std::string name = ntfs::FileNameUtf8(summary.name);
  const uint32_t content_check = ContentCheck(name, summary, placement);
  const uint32_t parent = ParentOf(summary);
  const uint32_t level = LevelOf(parent, placement);

  FoundFileRecord* slot = nullptr;
  if (ErrorCode rc = store_->NewRecord(&slot); !rc.ok()) return rc;
  slot->source_id = source_id_;
  slot->fs_kind = static_cast<uint32_t>(FsKind::kNtfsFormatted);
  slot->deleted = (summary.header.flags & ntfs::kRecordInUse) != 0 ? 0 : 1;
  slot->content_check = content_check;
  slot->key = number;
  slot->cluster_bytes = static_cast<int32_t>(placement.cluster_sectors * sector_bytes());
  SetTimes(summary, slot);
  slot->size = ntfs::DataSize(summary);
  slot->entry_sector = sector_number;
  slot->partition_start = placement.partition_start;
  slot->SetName(name);
  const RecordNumber record_number = slot->record_number;
  return store_->Relate(MakeFolderKey(parent, level), record_number, number, std::nullopt);
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
    return carving::CheckTypeByExtension(carving_, summary.resident_data.data(),
                                         summary.resident_data.size(), extension, &disk_,
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
      sector >= medium_sectors_) {
    return 1;
  }
  uint64_t sectors_read = 0;
  (void)ReadSectors(1, disk_, sector_.data(), sector, sector_bytes(), &sectors_read);
  if (sectors_read != 1) return 1;
  return carving::CheckTypeByExtension(carving_, sector_.data(), sector_.size(), extension, &disk_,
                                       sector_bytes(), sector)
             ? 1
             : 0;
}

bool CProfessionalNtfsRecovery::ReadRecordAt(uint64_t sector_number, FileRecordSummary* summary) {
  const uint64_t sectors = record_bytes() / sector_bytes();
  if (!open_ || sector_number >= medium_sectors_ || medium_sectors_ - sector_number < sectors) {
    return false;
  }
  uint64_t sectors_read = 0;
  (void)ReadSectors(sectors, disk_, record_.data(), sector_number, sector_bytes(), &sectors_read);
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
  if (!store_) return err::kInvalidParameter;
  // Writing a folder may climb to folders not met before: walk by position.
  for (std::size_t i = 0; i < parents_.size(); ++i) {
    const Parent parent = parents_[i];
    if (ErrorCode rc = EmitFolder(parent); !rc.ok()) return rc;
  }
  return store_->Flush();
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
  SetTimes(summary, &image);
  image.SetName(ntfs::FileNameUtf8(summary.name));
  const uint32_t parent = ParentOf(summary);
  const uint32_t parent_level = LevelOf(parent, folder.placement);
  const uint32_t own_level = levels_[folder.record];

  FoundFileRecord* slot = nullptr;
  if (ErrorCode rc = store_->NewRecord(&slot); !rc.ok()) return rc;
  const RecordNumber record_number = slot->record_number;
  *slot = image;
  slot->record_number = record_number;
  slot->source_id = source_id_;
  slot->fs_kind = static_cast<uint32_t>(FsKind::kNtfsFormatted);
  slot->is_folder = 1;
  slot->content_check = 1;
  slot->key = folder.record;
  slot->cluster_bytes = static_cast<int32_t>(folder.placement.cluster_sectors * sector_bytes());
  slot->entry_sector = *sector;
  slot->partition_start = folder.placement.partition_start;
  // A folder whose parent does not sit one level up (records that name each
  // other) hangs below the root at the level its climb gave it.
  FolderKey parent_key = MakeFolderKey(parent, parent_level);
  if (parent_level + 1 != own_level) parent_key = MakeFolderKey(ntfs::kRootRecord, 0);
  return store_->Relate(parent_key, record_number, folder.record, image.Name());
}

ErrorCode CProfessionalNtfsRecovery::AddLostFolder(uint32_t number,
                                                   const ntfs::MftPlacement& placement) {
  FoundFileRecord* slot = nullptr;
  if (ErrorCode rc = store_->NewRecord(&slot); !rc.ok()) return rc;
  slot->source_id = source_id_;
  slot->fs_kind = static_cast<uint32_t>(FsKind::kNtfsFormatted);
  slot->is_folder = 1;
  slot->content_check = 1;
  slot->key = number;
  slot->cluster_bytes = static_cast<int32_t>(placement.cluster_sectors * sector_bytes());
  slot->partition_start = placement.partition_start;
  char name[32];
  std::snprintf(name, sizeof name, "LostFolder%u", number);
  slot->SetName(name);
  const RecordNumber record_number = slot->record_number;
  return store_->Relate(MakeFolderKey(ntfs::kRootRecord, 0), record_number, number,
                        std::string_view(name));
}

// ------------------------------------------------------------- queries

ErrorCode CProfessionalNtfsRecovery::ListFolder(const FoundFileRecord* folder, uint32_t level,
                                                std::vector<FoundFileRecord>* out) {
  return StoreListFolder(store_.get(), folder, level, 0, out);
}

ErrorCode CProfessionalNtfsRecovery::CountFiles(const FoundFileRecord* folder, uint32_t level,
                                                uint32_t* count) {
  return StoreCountFiles(store_.get(), folder, level, ntfs::kRootRecord, count);
}

uint64_t CProfessionalNtfsRecovery::GetRecordCount() { return StoreRecordCount(store_.get()); }

ErrorCode CProfessionalNtfsRecovery::GetFullPath(const FoundFileRecord& record, std::string* path) {
  return StoreFullPath(store_.get(), record, path);
}

ErrorCode CProfessionalNtfsRecovery::SetSearchCallback(SearchProgressCallback callback,
                                                       void* user) {
  search_callback_ = callback;
  search_user_ = user;
  return StoreSetSearchCallback(store_.get(), callback, user);
}

ErrorCode CProfessionalNtfsRecovery::FindFiles(std::string_view type_filter,
                                               std::vector<FoundFileRecord>* out) {
  return StoreFindFiles(store_.get(), type_filter, out);
}

int32_t CProfessionalNtfsRecovery::NextFreeRange(uint64_t* /*sector*/,
                                                 uint64_t* /*length_sectors*/) {
  return 0;
}

ErrorCode CProfessionalNtfsRecovery::BuildUsedClusterBitmap() { return err::kSuccess; }

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
  const uint32_t sector_bytes = disk_.device_sector_bytes;
  if (record.cluster_bytes <= 0 || record.cluster_bytes % sector_bytes != 0) return false;
  if (!RecordDataRuns(record, &runs_).ok() || runs_.empty() || runs_.front().sparse) return false;
  const uint64_t cluster_sectors = static_cast<uint64_t>(record.cluster_bytes) / sector_bytes;
  return !__builtin_mul_overflow(runs_.front().first_cluster, cluster_sectors, sector) &&
         !__builtin_add_overflow(*sector, record.partition_start, sector);
}

ErrorCode CProfessionalNtfsRecovery::CopyData(const FoundFileRecord& record, const DataSink& sink) {
  FileRecordSummary summary;
  // A record that is no longer there has no data to give.
  if (!ReadRecordAt(record.entry_sector, &summary)) return err::kReadFault;
  const uint64_t size = record.size;
  if (!summary.has_data) return err::kSuccess;
  if (summary.data_resident) {
    return sink(
        summary.resident_data.first(std::min<uint64_t>(size, summary.resident_data.size())));
  }
  const uint32_t sector_bytes = disk_.device_sector_bytes;
  const int64_t cluster_bytes = record.cluster_bytes;
  if (cluster_bytes > kMaxClusterBytes) return err::kWriteFault;
  if (cluster_bytes <= 0 || cluster_bytes % sector_bytes != 0) return err::kInvalidParameter;
  const uint64_t cluster_sectors = static_cast<uint64_t>(cluster_bytes) / sector_bytes;
  std::vector<ntfs::DataRun> runs;
  (void)ntfs::DecodeDataRuns(summary.data.run_bytes, &runs);

  // No file is larger than the medium that holds it; a damaged size must not
  // turn holes into an endless stream of zeros.
  uint64_t due = std::min(size, medium_sectors_ * sector_bytes);
  std::vector<uint8_t> piece(kCopyPieceBytes);
  for (const ntfs::DataRun& run : runs) {
    uint64_t run_bytes = 0;
    if (due == 0 ||
        __builtin_mul_overflow(run.length_clusters, uint64_t(cluster_bytes), &run_bytes)) {
      break;
    }
    for (uint64_t offset = 0; offset < run_bytes && due > 0;) {
      const auto length =
          static_cast<std::size_t>(std::min<uint64_t>({kCopyPieceBytes, run_bytes - offset, due}));
      if (run.sparse) {
        std::memset(piece.data(), 0, length);
      } else {
        uint64_t first = 0;
        if (__builtin_mul_overflow(run.first_cluster, cluster_sectors, &first) ||
            __builtin_add_overflow(first, record.partition_start + offset / sector_bytes, &first)) {
          return err::kInvalidParameter;
        }
        const uint64_t count = (length + sector_bytes - 1) / sector_bytes;
        uint64_t sectors_read = 0;
        ErrorCode rc = ReadSectors(count, disk_, piece.data(), first, sector_bytes, &sectors_read);
        if (sectors_read != count) return rc.ok() ? ErrorCode(err::kReadFault) : rc;
      }
      if (ErrorCode rc = sink(std::span<const uint8_t>(piece.data(), length)); !rc.ok()) return rc;
      offset += length;
      due -= length;
    }
  }
  return err::kSuccess;
}

ErrorCode CProfessionalNtfsRecovery::CopyOneFile(const FoundFileRecord& record,
                                                 const std::filesystem::path& destination) {
  const std::string shown = destination.string();
  auto report = [&](int32_t percent, int32_t code) -> ErrorCode {
    if (recovery_callback_ == nullptr) return err::kSuccess;
    return recovery_callback_(user_, percent, 100, code, shown.c_str());
  };
  std::error_code ec;
  std::filesystem::create_directories(destination.parent_path(), ec);
  ErrorCode result = ec ? FromErrno(ec.value()) : ErrorCode(err::kSuccess);
  platform::File file;
  if (result.ok()) result = file.Open(destination, platform::File::Mode::kCreateTruncate);
  uint64_t written = 0;
  if (result.ok()) {
    result = CopyData(record, [&](std::span<const uint8_t> bytes) -> ErrorCode {
      if (ErrorCode rc = file.WriteAt(written, bytes); !rc.ok()) return rc;
      written += bytes.size();
      return report(static_cast<int32_t>(written * 100 / record.size), 0);
    });
    // An empty file, or data that ended before the size did, still finishes.
    if (result.ok() && (record.size == 0 || written < record.size)) result = report(100, 0);
  }
  if (result > 0) (void)report(100, result);
  return result;
}

ErrorCode CProfessionalNtfsRecovery::RecoverFile(const FoundFileRecord& record,
                                                 const std::filesystem::path& destination,
                                                 uint32_t /*root_separator_count*/) {
  if (!open_) return err::kInvalidParameter;
  if (record.is_folder != 0) {
    return CopyFolderTree(store_.get(), record, destination,
                          [this](const FoundFileRecord& file, const std::filesystem::path& path) {
                            return CopyOneFile(file, path);
                          });
  }
  return CopyOneFile(record, destination);
}

ErrorCode CProfessionalNtfsRecovery::ExtractForPreview(const FoundFileRecord& record,
                                                       std::string* path, uint8_t* buffer,
                                                       uint32_t* byte_count,
                                                       PreviewProgressCallback callback,
                                                       void* user) {
  path->clear();
  auto report = [&](int32_t percent, int32_t code) -> ErrorCode {
    return callback == nullptr ? ErrorCode(err::kSuccess)
                               : ErrorCode(callback(user, percent, code));
  };
  const uint32_t capacity = *byte_count;
  *byte_count = 0;
  if (!open_ || record.is_folder != 0) {
    (void)report(100, err::kInvalidParameter);
    return err::kInvalidParameter;
  }
  const std::filesystem::path target = PreviewTargetFor(record.Name());
  const uint64_t size = record.size;
  ErrorCode result = err::kSuccess;
  if (!target.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::remove(target, ec);
    platform::File file;
    result = file.Open(target, platform::File::Mode::kCreateTruncate);
    uint64_t written = 0;
    if (result.ok() && size > 0) {
      result = CopyData(record, [&](std::span<const uint8_t> bytes) -> ErrorCode {
        if (ErrorCode rc = file.WriteAt(written, bytes); !rc.ok()) return rc;
        written += bytes.size();
        return report(static_cast<int32_t>(written * 100 / size), 0);
      });
    }
    file.Close();
    if (result.ok()) {
      *path = target.string();
    } else {
      std::filesystem::remove(target, ec);
    }
  } else {
    const uint64_t take = std::min<uint64_t>(size, capacity);
    uint64_t copied = 0;
    if (take > 0 && buffer != nullptr) {
      result = CopyData(record, [&](std::span<const uint8_t> bytes) -> ErrorCode {
        const auto room = static_cast<std::size_t>(std::min<uint64_t>(bytes.size(), take - copied));
        std::memcpy(buffer + copied, bytes.data(), room);
        copied += room;
        if (ErrorCode rc = report(static_cast<int32_t>(copied * 100 / take), 0); !rc.ok())
          return rc;
        return copied >= take ? ErrorCode(kCancelCode) : ErrorCode(err::kSuccess);
      });
      if (result == kCancelCode && copied >= take) result = err::kSuccess;
    }
    *byte_count = static_cast<uint32_t>(copied);
  }
  if (result > 0) (void)report(100, result);
  return result;
}

}  // namespace vexlo
