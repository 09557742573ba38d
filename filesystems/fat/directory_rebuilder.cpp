#include "filesystems/fat/directory_rebuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "filesystems/fat/fat_long_name.h"
#include "ondisk/fat_directory_sector.h"

namespace vexlo::fat {
namespace {

constexpr std::size_t kTaken = std::numeric_limits<std::size_t>::max();
constexpr uint8_t kLastPartFlag = 0x40;
constexpr std::size_t kChecksumOffset = 13;
constexpr uint32_t kMaxSearchedHigh = 256;

bool IsLongNameAttr(const uint8_t* entry) { return entry[11] == kAttrLongName; }

}  // namespace

void FatDirectoryRebuilder::Reset(const RebuildSource& source, ScanResultStore* store) {
  source_ = source;
  store_ = store;
  store_error_ = err::kSuccess;
  root_ = 2;
  root_known_ = false;
  geometries_.clear();
  geometries_at_last_retry_ = 0;
  starts_.clear();
  window_ = Window{};
  tails_.clear();
  orphans_.clear();
  orphan_pool_.clear();
  pending_.clear();
  folder_images_.clear();
  folders_.clear();
  folder_order_.clear();
  joined_.assign(kMaxTailBytes + kMaxRebuildSectorBytes, 0);
  sector_.assign(std::max<uint32_t>(source_.sector_bytes, kDirEntryBytes), 0);
}

void FatDirectoryRebuilder::AddKnownGeometry(const DirectoryGeometry& geometry,
                                             uint32_t root_cluster) {
  if (AddGeometry(geometry) == kNoGeometry) return;
  root_ = root_cluster;
  root_known_ = true;
}

int FatDirectoryRebuilder::AddGeometry(const DirectoryGeometry& geometry) {
  if (geometries_.size() >= kMaxGeometries) return kNoGeometry;
  geometries_.push_back(geometry);
  return static_cast<int>(geometries_.size() - 1);
}

int FatDirectoryRebuilder::FindGeometryPlacing(uint32_t cluster, uint64_t sector) const {
  for (std::size_t i = 0; i < geometries_.size(); ++i) {
    if (geometries_[i].SectorOf(cluster) == sector) return static_cast<int>(i);
  }
  return kNoGeometry;
}

int FatDirectoryRebuilder::PairWithEarlierStarts(const DirectoryPosition& start) {
  if (geometries_.size() >= kMaxGeometries) return kNoGeometry;
  for (const DirectoryPosition& earlier : starts_) {
    if (auto geometry = GeometryFromPair(earlier, start, source_.partition_start)) {
      return AddGeometry(*geometry);
    }
  }
  return kNoGeometry;
}

// ------------------------------------------------------------- feeding

void FatDirectoryRebuilder::DirectoryStart(std::span<const uint8_t> sector,
                                           uint64_t sector_number) {
  if (sector.size() < 2 * kDirEntryBytes || sector.size() > kMaxRebuildSectorBytes) return;
  const uint32_t cluster = EntryCluster(sector.data());
  if (!root_known_ && cluster == 2) {
    root_ = 0;
    root_known_ = true;
  }
  int geometry = FindGeometryPlacing(cluster, sector_number);
  const DirectoryPosition start{cluster, sector_number};
  if (geometry == kNoGeometry && cluster >= 2) geometry = PairWithEarlierStarts(start);
  if (cluster >= 2 && starts_.size() < kMaxDirectoryStarts) starts_.push_back(start);
  if (geometry != kNoGeometry) {
    if (cluster > 0xFFFF) geometries_[geometry].fat32 = true;
    if (geometries_.size() > geometries_at_last_retry_) RetryPendingFiles();
  }

  window_.valid = true;
  window_.geometry = geometry;
  window_.first = sector_number;
  window_.end =
      sector_number + (geometry == kNoGeometry ? 1 : geometries_[geometry].SectorsOf(cluster));
  window_.directory = cluster;

  tail_added_ = false;
  Parse(sector, Context{geometry, cluster, sector_number, sector_number});
  if (tail_added_) JoinStoredContinuation();
}

void FatDirectoryRebuilder::DirectoryData(std::span<const uint8_t> sector, uint64_t sector_number) {
  if (sector.size() < kDirEntryBytes || sector.size() > kMaxRebuildSectorBytes) return;
  if (JoinWithTail(sector, sector_number)) return;
  if (WindowTakes(sector_number)) {
    Parse(sector, Context{window_.geometry, window_.directory, sector_number, sector_number});
    return;
  }
  bool placed = false;
  ParseAtClusterBoundary(sector, sector_number, &placed);
  if (!placed) KeepOrphan(sector, sector_number);
}

bool FatDirectoryRebuilder::WindowTakes(uint64_t sector_number) {
  if (!window_.valid || sector_number < window_.first) return false;
  if (sector_number < window_.end) return true;
  // Without a layout the directory's extent is unknown: it runs on while its
  // sectors follow each other, up to the largest cluster FAT has.
  if (window_.geometry == kNoGeometry && sector_number == window_.end &&
      window_.end - window_.first < 128) {
    window_.end = sector_number + 1;
    return true;
  }
  return false;
}

void FatDirectoryRebuilder::ParseAtClusterBoundary(std::span<const uint8_t> data,
                                                   uint64_t sector_number, bool* placed) {
  *placed = false;
  for (std::size_t i = 0; i < geometries_.size(); ++i) {
    const std::optional<uint32_t> cluster = geometries_[i].ClusterStartingAt(sector_number);
    if (!cluster) continue;
    const int geometry = static_cast<int>(i);
    window_ = Window{geometry, sector_number, sector_number + geometries_[i].SectorsOf(*cluster),
                     *cluster, true};
    Parse(data, Context{geometry, *cluster, sector_number, sector_number});
    *placed = true;
    return;
  }
}

void FatDirectoryRebuilder::KeepOrphan(std::span<const uint8_t> data, uint64_t sector_number) {
  if (orphan_pool_.size() + data.size() > kMaxOrphanBytes) return;
  orphans_.push_back(Orphan{sector_number, orphan_pool_.size()});
  orphan_pool_.insert(orphan_pool_.end(), data.begin(), data.end());
}

// ------------------------------------------------------------- parsing

void FatDirectoryRebuilder::Parse(std::span<const uint8_t> bytes, Context context) {
  LongNameCollector long_name;
  // The long-name entries that end the bytes, kept for a name that goes on
  // in the next cluster.
  std::size_t run_start = 0;
  std::size_t after_run = kTaken;  // index just past the latest long-name entry
  uint8_t run_checksum = 0;
  const auto on_long_part = [&](std::size_t i, const DirEntry& entry) {
    const uint8_t* raw = entry.bytes();
    const bool starts_name = !entry.is_deleted() && (raw[0] & kLastPartFlag) != 0;
    if (after_run != i || raw[kChecksumOffset] != run_checksum || starts_name) {
      run_start = i * kDirEntryBytes;
      run_checksum = raw[kChecksumOffset];
    }
    after_run = i + 1;
  };
  const auto on_named = [&](std::size_t, const DirEntry& entry, std::string name) {
    if (entry.is_directory()) {
      if (entry.is_dot()) {
        if (const uint32_t own = EntryCluster(entry.bytes()); own >= 2) context.directory = own;
      } else if (!entry.is_dot_dot()) {
        HandleDirectoryEntry(entry, std::move(name), context);
      }
    } else if (entry.is_archive()) {
      HandleFileEntry(entry, std::move(name), context);
    }
  };
  if (!WalkDirectoryEntries(bytes, long_name, on_long_part, on_named)) return;
  if (after_run == bytes.size() / kDirEntryBytes) KeepTail(bytes.subspan(run_start), context);
}

void FatDirectoryRebuilder::HandleDirectoryEntry(const DirEntry& entry, std::string name,
                                                 const Context& context) {
  uint32_t cluster = EntryCluster(entry.bytes());
  if (entry.is_deleted() && entry.cluster_high() == 0) {
    cluster = SearchHighWord(entry, name, context.geometry);
  }
  if (cluster == 0 || cluster == context.directory || cluster > kMaxFatCluster) return;
  auto it = folder_images_.find(cluster);
  if (it == folder_images_.end()) {
    if (folder_images_.size() >= kMaxFolderImages) return;
    it = folder_images_.emplace(cluster, FolderImage{}).first;
  }
  it->second = FolderImage{entry.created(), entry.accessed(), entry.modified(), entry.is_deleted(),
                           std::move(name)};
}

void FatDirectoryRebuilder::HandleFileEntry(const DirEntry& entry, std::string name,
                                            const Context& context) {
  FoundFileRecord image = EmptyRecord();
  image.source_id = source_.source_id;
  image.fs_kind = static_cast<uint32_t>(FsKind::kFatFormatted);
  image.deleted = entry.is_deleted() ? 1 : 0;
  image.key = entry.is_deleted() && entry.cluster_high() == 0
                  ? SearchHighWord(entry, name, context.geometry)
                  : EntryCluster(entry.bytes());
  image.created = entry.created();
  image.accessed = entry.accessed();
  image.modified = entry.modified();
  image.size = entry.size();
  image.entry_sector = context.data_sector;
  image.SetName(name);
  if (context.geometry != kNoGeometry) {
    WriteFile(image, context.directory, context.geometry);
  } else if (pending_.size() < kMaxPendingFiles) {
    pending_.push_back(PendingFile{image, context.directory, context.data_sector});
  }
}

uint32_t FatDirectoryRebuilder::SearchHighWord(const DirEntry& entry, std::string_view name,
                                               int geometry) {
  const uint32_t low = entry.cluster_low();
  if (geometry == kNoGeometry || !geometries_[geometry].fat32) return low;
  const DirectoryGeometry& g = geometries_[geometry];
  const bool directory = entry.is_directory();
  const std::string_view extension = ExtensionOf(name);
  if (!directory && (extension.empty() || !source_.content_test)) return low;
  for (uint32_t high = 0; high <= kMaxSearchedHigh; ++high) {
    const uint32_t candidate = (high << 16) | low;
    const std::optional<uint64_t> sector = g.SectorOf(candidate);
    if (candidate < 2) continue;
    if (!sector || *sector >= source_.medium_sectors) break;
    if (!ReadSector(*sector, sector_.data())) break;
    if (directory) {
      if (IsDirectoryStartSector(sector_.data(), sector_.size()) &&
          EntryCluster(sector_.data()) == candidate) {
        return candidate;
      }
    } else if (source_.content_test(sector_, extension, *sector)) {
      return candidate;
    }
  }
  return low;
}

void FatDirectoryRebuilder::WriteFile(const FoundFileRecord& image, uint32_t directory,
                                      int geometry) {
  const DirectoryGeometry& g = geometries_[geometry];
  const bool content_ok = ContentCheck(image.key, image.Name(), geometry);
  const uint32_t folder = Root(directory);
  const uint32_t level = LevelOf(folder, geometry);
  FoundFileRecord* slot = nullptr;
  if (ErrorCode rc = store_->NewRecord(&slot); !rc.ok()) {
    Remember(rc);
    return;
  }
  const RecordNumber number = slot->record_number;
  *slot = image;
  slot->record_number = number;
  slot->cluster_bytes = static_cast<int32_t>(source_.sector_bytes * g.sectors_per_cluster);
  slot->data_start = g.first_data_sector;
  slot->partition_start = g.partition_start;
  slot->content_check = content_ok ? 1 : 0;
  Remember(store_->Relate(MakeFolderKey(folder, level), number, image.key, std::nullopt));
}

void FatDirectoryRebuilder::RetryPendingFiles() {
  geometries_at_last_retry_ = geometries_.size();
  std::size_t kept = 0;
  for (PendingFile& file : pending_) {
    int placing = kNoGeometry;
    for (std::size_t i = 0; i < geometries_.size() && placing == kNoGeometry; ++i) {
      if (geometries_[i].ClusterHolding(file.data_sector)) placing = static_cast<int>(i);
    }
    if (placing == kNoGeometry) {
      pending_[kept++] = file;
    } else {
      WriteFile(file.image, file.directory, placing);
    }
  }
  pending_.resize(kept);
}

// ------------------------------------------------------------- long names

void FatDirectoryRebuilder::KeepTail(std::span<const uint8_t> run, const Context& context) {
  if (run.size() > kMaxTailBytes || run.empty()) return;
  if (tails_.size() >= kMaxLongNameTails) tails_.pop_front();
  LongNameTail& tail = tails_.emplace_back();
  tail.checksum = run[kChecksumOffset];
  tail.geometry = context.geometry;
  tail.directory = context.directory;
  tail.sector = context.data_sector;
  tail.last_sector = context.last_sector;
  tail.length = static_cast<uint16_t>(run.size());
  std::memcpy(tail.bytes.data(), run.data(), run.size());
  tail_added_ = true;
}

bool FatDirectoryRebuilder::EndsItsCluster(const LongNameTail& tail) const {
  if (tail.geometry == kNoGeometry) return true;
  const DirectoryGeometry& g = geometries_[tail.geometry];
  const std::optional<uint32_t> cluster = g.ClusterHolding(tail.last_sector);
  return !cluster || *g.SectorOf(*cluster) + g.SectorsOf(*cluster) == tail.last_sector + 1;
}

bool FatDirectoryRebuilder::TailCanContinueAt(const LongNameTail& tail,
                                              uint64_t sector_number) const {
  if (!EndsItsCluster(tail)) return sector_number == tail.last_sector + 1;
  if (tail.geometry == kNoGeometry) return true;
  return geometries_[tail.geometry].ClusterStartingAt(sector_number).has_value();
}

bool FatDirectoryRebuilder::TailMatches(const LongNameTail& tail, std::span<const uint8_t> data,
                                        uint64_t sector_number) const {
  if (sector_number <= tail.last_sector || !TailCanContinueAt(tail, sector_number)) return false;
  const uint8_t* first = data.data();
  if (IsLongNameAttr(first)) return first[kChecksumOffset] == tail.checksum;
  if (first[0] == kDeletedMark) {
    // Deleting a file clears the first byte of its short entry, and with it
    // what the checksum was computed over: only closeness ties it to the run.
    const uint64_t reach =
        tail.geometry == kNoGeometry ? 1 : geometries_[tail.geometry].sectors_per_cluster;
    return sector_number - tail.last_sector <= reach;
  }
  return ShortNameChecksum(first) == tail.checksum;
}

bool FatDirectoryRebuilder::JoinWithTail(std::span<const uint8_t> data, uint64_t sector_number) {
  for (auto it = tails_.begin(); it != tails_.end();) {
    // A run that stopped inside its cluster goes on in the very next sector
    // or nowhere; once that has passed, its tail can only cause false joins.
    if (!EndsItsCluster(*it) && sector_number > it->last_sector + 1) {
      it = tails_.erase(it);
      continue;
    }
    if (!TailMatches(*it, data, sector_number)) {
      ++it;
      continue;
    }
    const LongNameTail tail = *it;
    tails_.erase(it);
    // What follows in this cluster belongs to the same directory.
    if (tail.geometry != kNoGeometry) {
      const DirectoryGeometry& g = geometries_[tail.geometry];
      if (const std::optional<uint32_t> cluster = g.ClusterHolding(sector_number)) {
        const uint64_t first = *g.SectorOf(*cluster);
        window_ = Window{tail.geometry, first, first + g.SectorsOf(*cluster), tail.directory, true};
      }
    } else {
      window_ = Window{kNoGeometry, sector_number, sector_number + 1, tail.directory, true};
    }
    ParseJoined(tail, data, sector_number);
    return true;
  }
  return false;
}

void FatDirectoryRebuilder::ParseJoined(const LongNameTail& tail, std::span<const uint8_t> data,
                                        uint64_t sector_number) {
  std::memcpy(joined_.data(), tail.bytes.data(), tail.length);
  std::memcpy(joined_.data() + tail.length, data.data(), data.size());
  Parse(std::span<const uint8_t>(joined_.data(), tail.length + data.size()),
        Context{tail.geometry, tail.directory, tail.sector, sector_number});
}

void FatDirectoryRebuilder::JoinStoredContinuation() {
  const LongNameTail tail = tails_.back();
  // Only the start of a later cluster of the directory can lie before the
  // tail on the medium.
  if (!EndsItsCluster(tail) || tail.geometry == kNoGeometry) return;
  const DirectoryGeometry& g = geometries_[tail.geometry];
  const std::size_t sector_bytes = source_.sector_bytes;
  for (Orphan& orphan : orphans_) {
    if (orphan.offset == kTaken || !g.ClusterStartingAt(orphan.sector)) continue;
    const std::span<const uint8_t> data(orphan_pool_.data() + orphan.offset, sector_bytes);
    const uint8_t* first = data.data();
    if (first[0] == kDeletedMark) continue;
    const bool continues = IsLongNameAttr(first) ? first[kChecksumOffset] == tail.checksum
                                                 : ShortNameChecksum(first) == tail.checksum;
    if (!continues) continue;
    tails_.pop_back();
    orphan.offset = kTaken;
    ParseJoined(tail, data, orphan.sector);
    return;
  }
}

// ------------------------------------------------------------- finishing

void FatDirectoryRebuilder::RetryOrphans() {
  std::vector<uint8_t> data(source_.sector_bytes);
  for (std::size_t index = 0; index < orphans_.size(); ++index) {
    const Orphan orphan = orphans_[index];
    if (orphan.offset == kTaken) continue;
    std::memcpy(data.data(), orphan_pool_.data() + orphan.offset, data.size());
    const uint64_t number = orphan.sector;
    if (JoinWithTail(data, number)) continue;
    bool placed = false;
    ParseAtClusterBoundary(data, number, &placed);
    if (placed) continue;
    if (window_.valid && window_.geometry != kNoGeometry && number >= window_.first &&
        number < window_.end) {
      Parse(data, Context{window_.geometry, window_.directory, number, number});
      continue;
    }
    for (std::size_t i = 0; i < geometries_.size(); ++i) {
      if (const std::optional<uint32_t> cluster = geometries_[i].ClusterHolding(number)) {
        Parse(data, Context{static_cast<int>(i), *cluster, number, number});
        break;
      }
    }
  }
  orphans_.clear();
  orphan_pool_.clear();
  orphan_pool_.shrink_to_fit();
}

ErrorCode FatDirectoryRebuilder::Finish() {
  if (store_ == nullptr) return err::kInvalidParameter;
  RetryOrphans();
  // Files whose directory no layout places are dropped: their clusters
  // cannot be found.
  RetryPendingFiles();
  pending_.clear();
  tails_.clear();
  Remember(EmitFolders());
  Remember(store_->Flush());
  return store_error_;
}

ErrorCode FatDirectoryRebuilder::EmitFolders() {
  for (const uint32_t cluster : folder_order_) {
    const Folder& folder = folders_.at(cluster);
    const DirectoryGeometry& g = geometries_[folder.geometry];
    const uint32_t parent_level = folder.parent == root_ ? 0 : folders_.at(folder.parent).level;
    FoundFileRecord* slot = nullptr;
    if (ErrorCode rc = store_->NewRecord(&slot); !rc.ok()) return rc;
    const RecordNumber number = slot->record_number;
    slot->source_id = source_.source_id;
    slot->fs_kind = static_cast<uint32_t>(FsKind::kFatFormatted);
    slot->is_folder = 1;
    slot->content_check = 1;
    slot->key = cluster;
    slot->cluster_bytes = static_cast<int32_t>(source_.sector_bytes * g.sectors_per_cluster);
    slot->data_start = g.first_data_sector;
    slot->partition_start = g.partition_start;
    if (auto image = folder_images_.find(cluster); image != folder_images_.end()) {
      slot->deleted = image->second.deleted ? 1 : 0;
      slot->created = image->second.created;
      slot->accessed = image->second.accessed;
      slot->modified = image->second.modified;
      slot->SetName(image->second.name);
    } else {
      char name[32];
      std::snprintf(name, sizeof name, "LostFolder%u", cluster);
      slot->SetName(name);
    }
    const std::string name(slot->Name());
    if (ErrorCode rc =
            store_->Relate(MakeFolderKey(folder.parent, parent_level), number, cluster, name);
        !rc.ok()) {
      return rc;
    }
  }
  return err::kSuccess;
}

// ------------------------------------------------------------- folders

uint32_t FatDirectoryRebuilder::LevelOf(uint32_t directory, int geometry) {
  if (directory == root_) return 0;
  if (auto it = folders_.find(directory); it != folders_.end()) return it->second.level;
  chain_.clear();
  chain_parents_.clear();
  uint32_t base = 0;
  for (uint32_t current = directory;;) {
    if (current == root_) break;
    if (auto it = folders_.find(current); it != folders_.end()) {
      base = it->second.level;
      break;
    }
    const bool loops = std::find(chain_.begin(), chain_.end(), current) != chain_.end();
    if (loops || chain_.size() >= kMaxFolderDepth) {
      // Folders that name each other as parents, or a chain deeper than any
      // real tree: the last one hangs below the root.
      chain_parents_.back() = root_;
      break;
    }
    const uint32_t parent = ParentOnMedium(current, geometry);
    chain_.push_back(current);
    chain_parents_.push_back(parent);
    current = parent;
  }
  uint32_t level = base;
  for (std::size_t i = chain_.size(); i-- > 0;) {
    ++level;
    folders_.emplace(chain_[i], Folder{chain_parents_[i], level, geometry});
    folder_order_.push_back(chain_[i]);
  }
  return folders_.at(directory).level;
}

uint32_t FatDirectoryRebuilder::ParentOnMedium(uint32_t cluster, int geometry) {
  const std::optional<uint64_t> sector = geometries_[geometry].SectorOf(cluster);
  if (!sector || !ReadSector(*sector, sector_.data())) return root_;
  if (!IsDirectoryStartSector(sector_.data(), sector_.size()) ||
      EntryCluster(sector_.data()) != cluster) {
    return root_;
  }
  const uint32_t parent = Root(EntryCluster(sector_.data() + kDirEntryBytes));
  return parent == cluster || parent > kMaxFatCluster ? root_ : parent;
}

bool FatDirectoryRebuilder::ReadSector(uint64_t sector_number, uint8_t* into) {
  if (source_.disk == nullptr || sector_number >= source_.medium_sectors) return false;
  uint64_t sectors_read = 0;
  (void)ReadSectors(1, *source_.disk, into, sector_number, source_.sector_bytes, &sectors_read);
  return sectors_read == 1;
}

bool FatDirectoryRebuilder::ContentCheck(uint32_t first_cluster, std::string_view name,
                                         int geometry) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty() || !source_.content_test) return true;
  const std::optional<uint64_t> sector = geometries_[geometry].SectorOf(first_cluster);
  if (first_cluster < 2 || !sector || !ReadSector(*sector, sector_.data())) return true;
  return source_.content_test(sector_, extension, *sector);
}

}  // namespace vexlo::fat
