#include "filesystems/ntfs/ntfs_volume.h"

#include <algorithm>
#include <cstring>

#include "filesystems/ntfs/attribute_list.h"
#include "storage/read_trace.h"

namespace vexlo::ntfs {
namespace {

constexpr uint32_t kBootBytes = 512;
constexpr uint64_t kMftRecord = 0;

}  // namespace

ErrorCode NtfsVolume::Open(DiskHandle* disk, uint64_t partition_start, uint64_t partition_sectors) {
  disk_ = disk;
  partition_start_ = partition_start;
  partition_bytes_ = partition_sectors * disk->device_sector_bytes;
  mft_runs_.clear();
  mft_record_count_ = 0;

  std::vector<uint8_t> boot(std::max<uint32_t>(kBootBytes, disk->device_sector_bytes));
  if (ErrorCode rc = ReadBytes(partition_start * disk->device_sector_bytes, boot); !rc.ok()) {
    return rc;
  }
  if (!ParseBootSector(boot, &geometry_)) return err::kUnrecognizedMedia;

  // The partition's length bounds every cluster; the boot sector's count may
  // only shrink it (a partition entry larger than its file system).
  uint64_t volume_bytes = partition_bytes_;
  if (geometry_.total_sectors != 0) {
    volume_bytes = std::min(volume_bytes, (geometry_.total_sectors + 1) * geometry_.sector_bytes);
  }
  volume_clusters_ = volume_bytes / geometry_.cluster_bytes;
  extension_record_.assign(geometry_.record_bytes, 0);

  // Record 0 lies at the start of the MFT, whatever its later runs.
  std::vector<uint8_t> record0(geometry_.record_bytes);
  const uint64_t mft_bytes = ClusterOffset(geometry_.mft_first_cluster);
  if (geometry_.mft_first_cluster >= volume_clusters_) return err::kUnrecognizedMedia;
  if (ErrorCode rc = ReadBytes(mft_bytes, record0); !rc.ok()) return rc;
  if (!HasFileSignature(record0) || !ApplyFixup(record0)) return err::kUnrecognizedMedia;
  return MapMft(record0);
}

ErrorCode NtfsVolume::MapMft(std::span<uint8_t> record0) {
  FileRecordSummary summary;
  if (!SummarizeFileRecord(record0, &summary) || !summary.has_data || summary.data_resident) {
    return err::kUnrecognizedMedia;
  }
  // The base record's own piece maps the extension records of its list.
  std::vector<DataRun> runs;
  if (DecodeDataRuns(summary.data.run_bytes, &mft_runs_) != RunListStatus::kComplete ||
      !RunsInsideVolume(mft_runs_, volume_clusters_) || mft_runs_.empty()) {
    mft_runs_.clear();
    return err::kUnrecognizedMedia;
  }
  uint64_t size = 0;
  if (ErrorCode rc = ResolveData(summary, kMftRecord, &runs, &size); !rc.ok() || runs.empty()) {
    mft_runs_.clear();
    return err::kUnrecognizedMedia;
  }
  mft_runs_ = std::move(runs);
  const uint64_t mapped =
      TotalClusters(mft_runs_) * geometry_.cluster_bytes / geometry_.record_bytes;
  mft_record_count_ = std::min(mapped, size / geometry_.record_bytes);
  return err::kSuccess;
}

uint64_t NtfsVolume::ClusterOffset(uint64_t cluster) const {
  return partition_start_ * disk_->device_sector_bytes + cluster * geometry_.cluster_bytes;
}

bool NtfsVolume::RecordOffset(uint64_t number, uint64_t* byte_offset) const {
  const uint64_t cluster_bytes = geometry_.cluster_bytes;
  const uint64_t stream_offset = number * geometry_.record_bytes;
  uint64_t run_start = 0;  // stream byte where the run begins
  for (const DataRun& run : mft_runs_) {
    const uint64_t run_bytes = run.length_clusters * cluster_bytes;
    if (stream_offset < run_start + run_bytes) {
      if (run.sparse || stream_offset + geometry_.record_bytes > run_start + run_bytes) {
        return false;
      }
      *byte_offset = ClusterOffset(run.first_cluster) + (stream_offset - run_start);
      return true;
    }
    run_start += run_bytes;
  }
  return false;
}

uint64_t NtfsVolume::RecordSector(uint64_t number) const {
  uint64_t offset = 0;
  if (!RecordOffset(number, &offset)) return partition_start_;
  const uint64_t partition_offset = partition_start_ * disk_->device_sector_bytes;
  return partition_start_ + (offset - partition_offset) / geometry_.sector_bytes;
}

ErrorCode NtfsVolume::ReadBytes(uint64_t byte_offset, std::span<uint8_t> out) {
  const uint32_t sector = disk_->device_sector_bytes;
  uint64_t sectors_read = 0;
  if (byte_offset % sector == 0 && out.size() % sector == 0) {
    ErrorCode rc = ReadSectors(out.size() / sector, *disk_, out.data(), byte_offset / sector,
                               sector, &sectors_read);
    return sectors_read * sector == out.size() ? ErrorCode(err::kSuccess)
                                               : (rc.ok() ? ErrorCode(err::kReadFault) : rc);
  }
  const uint64_t first = byte_offset / sector;
  const uint64_t last = (byte_offset + out.size() + sector - 1) / sector;
  bounce_.resize((last - first) * sector);
  ErrorCode rc = ReadSectors(last - first, *disk_, bounce_.data(), first, sector, &sectors_read);
  if (sectors_read != last - first) return rc.ok() ? ErrorCode(err::kReadFault) : rc;
  std::memcpy(out.data(), bounce_.data() + (byte_offset - first * sector), out.size());
  ReadTrace::Note(out.data(), byte_offset, out.size());
  return err::kSuccess;
}

ErrorCode NtfsVolume::ReadRecord(uint64_t number, std::span<uint8_t> record) {
  uint64_t offset = 0;
  if (!RecordOffset(number, &offset)) {
    // A record that straddles two runs (clusters smaller than records) is
    // read piece by piece through the stream.
    const uint64_t cluster_bytes = geometry_.cluster_bytes;
    if (cluster_bytes >= geometry_.record_bytes) return err::kInvalidParameter;
    const uint64_t base = number * geometry_.record_bytes;
    for (uint64_t done = 0; done < geometry_.record_bytes; done += cluster_bytes) {
      uint64_t stream = base + done;
      uint64_t run_start = 0;
      bool mapped = false;
      for (const DataRun& run : mft_runs_) {
        const uint64_t run_bytes = run.length_clusters * cluster_bytes;
        if (stream < run_start + run_bytes) {
          if (run.sparse) break;
          ErrorCode rc = ReadBytes(ClusterOffset(run.first_cluster) + (stream - run_start),
                                   record.subspan(done, cluster_bytes));
          if (!rc.ok()) return rc;
          mapped = true;
          break;
        }
        run_start += run_bytes;
      }
      if (!mapped) return err::kInvalidParameter;
    }
  } else if (ErrorCode rc = ReadBytes(offset, record.first(geometry_.record_bytes)); !rc.ok()) {
    return rc;
  }
  if (!HasFileSignature(record) || !ApplyFixup(record.first(geometry_.record_bytes))) {
    return kNoFileSignature;
  }
  return err::kSuccess;
}

ErrorCode NtfsVolume::AppendPiece(const FileRecordSummary& holder, uint64_t* next_vcn,
                                  std::vector<DataRun>* runs, uint64_t* size) {
  if (!holder.has_data || holder.data_resident || holder.data.lowest_vcn != *next_vcn) {
    return kAttributeNotFound;
  }
  const std::size_t before = runs->size();
  if (DecodeDataRuns(holder.data.run_bytes, runs) != RunListStatus::kComplete ||
      !RunsInsideVolume(std::span(*runs).subspan(before), volume_clusters_)) {
    runs->resize(before);
    return err::kInvalidParameter;
  }
  if (*next_vcn == 0) *size = holder.data.real_size;
  *next_vcn += TotalClusters(std::span(*runs).subspan(before));
  return err::kSuccess;
}

ErrorCode NtfsVolume::ResolveData(const FileRecordSummary& base, uint64_t number,
                                  std::vector<DataRun>* runs, uint64_t* size) {
  runs->clear();
  *size = 0;
  if (base.has_data && base.data_resident) {
    *size = base.resident_data.size();
    return err::kSuccess;
  }
  uint64_t next_vcn = 0;
  if (!base.has_attribute_list) {
    if (!base.has_data) return kAttributeNotFound;
    return AppendPiece(base, &next_vcn, runs, size);
  }

  // The list itself: resident, or read through its own runs.
  std::vector<uint8_t> list_bytes;
  std::span<const uint8_t> list;
  if (!base.attribute_list.non_resident) {
    if (!ResidentValue(base.attribute_list, &list)) return err::kInvalidParameter;
  } else {
    NonResidentInfo info;
    std::vector<DataRun> list_runs;
    if (!ReadNonResident(base.attribute_list, &info) ||
        DecodeDataRuns(info.run_bytes, &list_runs) != RunListStatus::kComplete ||
        !RunsInsideVolume(list_runs, volume_clusters_)) {
      return err::kInvalidParameter;
    }
    if (ErrorCode rc =
            ReadRunData(list_runs, std::min(info.real_size, kMaxAttributeListBytes), &list_bytes);
        !rc.ok()) {
      return rc;
    }
    list = list_bytes;
  }

  AttributeListReader reader(list);
  AttributeListEntry entry;
  FileRecordSummary holder;
  while (reader.Next(&entry)) {
    if (entry.type != kAttrData || entry.name_length != 0 || entry.lowest_vcn != next_vcn) {
      continue;
    }
    if (entry.record == number) {
      (void)AppendPiece(base, &next_vcn, runs, size);
      continue;
    }
    if (!ReadRecord(entry.record, extension_record_).ok() ||
        !SummarizeFileRecord(extension_record_, &holder) || holder.header.base_record != number) {
      continue;
    }
    (void)AppendPiece(holder, &next_vcn, runs, size);
  }
  if (runs->empty() && base.has_data) return AppendPiece(base, &next_vcn, runs, size);
  return runs->empty() ? ErrorCode(kAttributeNotFound) : ErrorCode(err::kSuccess);
}

ErrorCode NtfsVolume::ReadRunData(std::span<const DataRun> runs, uint64_t max_bytes,
                                  std::vector<uint8_t>* out) {
  const uint64_t total = std::min(max_bytes, TotalClusters(runs) * geometry_.cluster_bytes);
  out->assign(total, 0);
  uint64_t done = 0;
  for (const DataRun& run : runs) {
    if (done >= total) break;
    const uint64_t piece = std::min(total - done, run.length_clusters * geometry_.cluster_bytes);
    if (!run.sparse) {
      ErrorCode rc =
          ReadBytes(ClusterOffset(run.first_cluster), std::span(out->data() + done, piece));
      if (!rc.ok()) return rc;
    }
    done += piece;
  }
  return err::kSuccess;
}

}  // namespace vexlo::ntfs
