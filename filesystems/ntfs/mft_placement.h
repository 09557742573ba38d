// Placing FILE records found anywhere on a medium inside the MFT they belong
// to, without a boot sector.
//
// Every $MFT record (record 0) seen during a formatted scan is kept with its
// run list: a record k found at sector s belongs to that MFT when, under its
// runs, record k lies exactly at s; the MFT's own position then tells where
// its volume begins, and with it where every other record of that MFT lies
// (the parent folders). A record that no known MFT places is taken to sit in
// a contiguous MFT that reaches back from it to record 0.
//
// All sector numbers are absolute sectors of the medium in the medium's
// sector size; cluster and record sizes count in those sectors.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "ondisk/ntfs_data_runs.h"

namespace vexlo::ntfs {

// MFTs remembered at most; a medium holds a few generations, not hundreds.
inline constexpr std::size_t kMaxMftMapEntries = 256;

// Where the MFT holding one record lies.
struct MftPlacement {
  // The runs of the $MFT that placed the record (owned by the MftMap, which
  // outlives the placement), or null for a contiguous MFT from first_sector.
  const std::vector<DataRun>* runs = nullptr;
  uint64_t first_sector = 0;     // contiguous MFT: where record 0 lies
  uint64_t partition_start = 0;  // where the volume's cluster 0 lies
  uint32_t cluster_sectors = 8;
  uint32_t record_sectors = 2;
  bool valid = false;

  // Absolute sector of record `number`; nothing when the MFT does not hold it
  // (beyond its runs, in a hole, or past any sector number).
  std::optional<uint64_t> RecordSector(uint64_t number) const;
};

class MftMap {
 public:
  // Remembers the runs of the $MFT record found at `sector`. `cluster_sectors`
  // is the cluster size its own allocation implies, 0 when unknown. The first
  // record seen at a sector stays; beyond kMaxMftMapEntries nothing is added.
  void Add(uint64_t sector, std::vector<DataRun> runs, uint32_t cluster_sectors);

  // The placement of record `number` found at `sector`: the first MFT, in
  // ascending order of where its $MFT record lies, that holds the record
  // exactly there; else a contiguous MFT with `partition_start`.
  MftPlacement Place(uint64_t number, uint64_t sector, uint32_t cluster_sectors,
                     uint32_t record_sectors, uint64_t partition_start) const;

  void Clear() { entries_.clear(); }
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::vector<DataRun> runs;
    uint32_t cluster_sectors;
  };
  std::map<uint64_t, Entry> entries_;
};

}  // namespace vexlo::ntfs
