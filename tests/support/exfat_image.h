// exFAT test volumes: formatted by Debian's mkfs.exfat, then filled and
// emptied by this helper's own code the way an exFAT driver does it, because
// no exFAT mount is available where the tests run.
//
// Adding writes the entry set (file, stream extension, names, with the set
// checksum and name hash), the data, the FAT chain unless the file is
// contiguous, and the allocation bitmap. Deleting clears bit 7 of every entry
// type of the set and the bitmap bits of its clusters, and leaves FAT links
// and data alone, as the Linux driver does. Like a driver, a new set takes
// the first run of entries not in use, a deleted set's included. The image
// file is mapped, so an image of many GiB stays sparse: only the pages
// written take space.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/non_copyable.h"

namespace vexlo::testing {

// How a file's clusters are placed.
enum class ExFatLayout {
  kContiguous,  // "no FAT chain": consecutive clusters, no FAT links
  kChained,     // consecutive clusters linked through the FAT
  kFragmented,  // every other cluster, linked through the FAT
};

// One exFAT time stamp as written to an entry set.
struct ExFatStamp {
  uint32_t dos = 0;  // date in the high half, time in the low half
  uint8_t increment_10ms = 0;
  uint8_t utc_offset = 0;
};

// What was added: where its set lies and which clusters it holds.
struct ExFatItem {
  uint64_t set_offset = 0;  // byte offset of the file entry in the image
  uint32_t entry_count = 0;
  std::vector<uint32_t> clusters;
  uint32_t first_cluster() const { return clusters.empty() ? 0 : clusters.front(); }
};

class ExFatImage : NonCopyable {
 public:
  ExFatImage() = default;
  ~ExFatImage();

  // Creates `image` of `size_mib` and formats it with the cluster size given.
  // Returns an error text, empty on success.
  std::string Format(const std::filesystem::path& image, uint64_t size_mib, uint32_t cluster_bytes);
  // Makes the changes visible to readers of the file; returns an error text.
  std::string Save() const;

  // The root's first cluster (the parent of top-level items).
  uint32_t root() const { return root_cluster_; }
  uint32_t cluster_bytes() const { return cluster_bytes_; }

  // Adds a folder of one zeroed cluster ("no FAT chain") to `parent`.
  ExFatItem AddFolder(uint32_t parent, std::u16string_view name, const ExFatStamp& stamp);
  // Adds a file to `parent`. `data_length` beyond the bytes given is
  // allocated but left as not yet written (valid data length = bytes).
  ExFatItem AddFile(uint32_t parent, std::u16string_view name, std::span<const uint8_t> bytes,
                    ExFatLayout layout, const ExFatStamp& stamp, uint64_t data_length = 0);
  // Adds a file of `length` bytes, all of them counted as written, whose
  // clusters are left as they lie (holes reading as zeros on a fresh sparse
  // image); WriteData fills parts of it.
  ExFatItem AddSparseFile(uint32_t parent, std::u16string_view name, uint64_t length,
                          ExFatLayout layout, const ExFatStamp& stamp);
  // Writes `bytes` at `offset` of an added file's data.
  void WriteData(const ExFatItem& item, uint64_t offset, std::span<const uint8_t> bytes);
  void Delete(const ExFatItem& item);

  // Raw access for tests that damage the volume.
  std::span<uint8_t> bytes() { return image_; }
  uint64_t ClusterOffset(uint32_t cluster) const;
  uint64_t FatOffset(uint32_t cluster) const;
  uint32_t bitmap_cluster() const { return bitmap_cluster_; }

 private:
  std::vector<uint32_t> Allocate(uint64_t count, ExFatLayout layout);
  ExFatItem AddData(uint32_t parent, std::u16string_view name, uint64_t length, uint64_t valid,
                    ExFatLayout layout, const ExFatStamp& stamp);
  void Unmap();
  void SetBit(uint32_t cluster, bool used);
  void WriteSet(uint32_t parent, std::vector<uint8_t>& set, ExFatItem* item);
  std::vector<uint8_t> BuildSet(std::u16string_view name, uint16_t attributes, bool no_fat_chain,
                                uint32_t first_cluster, uint64_t valid, uint64_t length,
                                const ExFatStamp& stamp) const;

  std::filesystem::path path_;
  std::span<uint8_t> image_;  // the mapped file
  uint32_t sector_bytes_ = 512;
  uint32_t cluster_bytes_ = 0;
  uint32_t fat_offset_ = 0;
  uint32_t heap_offset_ = 0;
  uint32_t cluster_count_ = 0;
  uint32_t root_cluster_ = 0;
  uint32_t bitmap_cluster_ = 0;
};

// The set checksum, computed independently of the engine's.
uint16_t TestSetChecksum(std::span<const uint8_t> set);

}  // namespace vexlo::testing
