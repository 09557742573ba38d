#include "filesystems/exfat/fast_exfat_recovery.h"

#include <algorithm>
#include <vector>

#include "filesystems/exfat/exfat_directory_walker.h"
#include "filesystems/exfat/exfat_entry_set.h"

namespace vexlo {

const fat::FatGeometry& CFastExFatRecovery::Place(uint64_t partition_start,
                                                  uint64_t partition_sectors) {
  PlaceVolume(partition_start, partition_sectors);
  volume_.OpenFat();
  return volume_.fat_geometry;
}

std::unique_ptr<DeletedTreeWalker> CFastExFatRecovery::MakeWalker(ScanResultStore& store,
                                                                  FirstSectorTest content_test) {
  return std::make_unique<exfat::ExFatDirectoryWalker>(volume_, store, std::move(content_test));
}

ErrorCode CFastExFatRecovery::ReadRecordData(const FoundFileRecord& record, uint64_t max_bytes,
                                             const RecordDataSink& sink) {
  return exfat::ReadFileData(volume_, PlacementOf(record), max_bytes, sink);
}

ErrorCode CFastExFatRecovery::BuildUsedClusterBitmap() {
  if (!opened()) return err::kSuccess;
  const exfat::BitmapLocation where = exfat::FindAllocationBitmap(volume_);
  // A bitmap that is missing or shorter than the heap leaves the clusters it
  // does not cover marked used (see Assign): nothing unknown is carved.
  std::vector<uint8_t> bits;
  const uint32_t clusters = volume_.fat_geometry.ClustersWithin(volume_.partition_sectors);
  const uint64_t wanted = std::min<uint64_t>(where.length, (uint64_t{clusters} + 7) / 8);
  exfat::DataPlacement placement{where.first_cluster, false, wanted, wanted};
  (void)exfat::ReadFileData(volume_, placement, wanted,
                            [&bits](std::span<const uint8_t> bytes, uint64_t) -> int32_t {
                              bits.insert(bits.end(), bytes.begin(), bytes.end());
                              return 0;
                            });
  bitmap().Assign(std::move(bits), clusters);
  return err::kSuccess;
}

exfat::DataPlacement CFastExFatRecovery::PlacementOf(const FoundFileRecord& record) {
  const uint64_t size = record.size;
  exfat::DataPlacement placement{record.key, false, size, size};
  // The stream extension says whether the data are chained and how much of
  // them was written; the record does not keep either.
  const exfat::ExFatGeometry& g = volume_.geometry;
  const uint64_t entry_sector = record.entry_sector;
  if (entry_sector < volume_.partition_start) return placement;
  std::vector<uint8_t> sector(g.bytes_per_sector);
  uint64_t sectors_read = 0;
  (void)volume_.Read(entry_sector - volume_.partition_start, 1, sector.data(), &sectors_read);
  if (sectors_read != 1) return placement;
  for (std::size_t at = 0; at < sector.size(); at += exfat::kEntryBytes) {
    const std::span<const uint8_t> entry(sector.data() + at, exfat::kEntryBytes);
    const uint64_t length = exfat::data_entry::kDataLength.Load(entry);
    const uint64_t valid = exfat::stream_entry::kValidDataLength.Load(entry);
    if (exfat::BaseType(entry.data()) != exfat::kTypeStream ||
        exfat::data_entry::kFirstCluster.Load(entry) != record.key || length != size ||
        valid > length) {
      continue;
    }
    placement.contiguous = (exfat::data_entry::kFlags.Load(entry) & exfat::kFlagNoFatChain) != 0;
    placement.valid_length = valid;
    break;
  }
  return placement;
}

}  // namespace vexlo
