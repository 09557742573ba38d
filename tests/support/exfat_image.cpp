#include "tests/support/exfat_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "ondisk/endian.h"
#include "tests/support/fat_image.h"

namespace vexlo::testing {
namespace {

// Up-case as mkfs.exfat's table has it for the letters the tests use.
char16_t UpCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

uint16_t NameHash(std::u16string_view name) {
  uint16_t hash = 0;
  for (char16_t c : name) {
    const char16_t up = UpCase(c);
    for (const uint8_t byte : {static_cast<uint8_t>(up & 0xFF), static_cast<uint8_t>(up >> 8)}) {
      hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + byte);
    }
  }
  return hash;
}

}  // namespace

uint16_t TestSetChecksum(std::span<const uint8_t> set) {
  uint16_t sum = 0;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (i == 2 || i == 3) continue;
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
  }
  return sum;
}

ExFatImage::~ExFatImage() { Unmap(); }

void ExFatImage::Unmap() {
  if (!image_.empty()) ::munmap(image_.data(), image_.size());
  image_ = {};
}

std::string ExFatImage::Format(const std::filesystem::path& image, uint64_t size_mib,
                               uint32_t cluster_bytes) {
  Unmap();
  path_ = image;
  std::string output;
  const std::string command = "truncate -s " + std::to_string(size_mib) + "M " +
                              ShellQuote(image.string()) + " && mkfs.exfat -c " +
                              std::to_string(cluster_bytes) + " " + ShellQuote(image.string()) +
                              " 2>&1";
  if (RunCapture(command, &output) != 0) return "mkfs.exfat failed: " + output;
  const int fd = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return "cannot open " + image.string();
  struct stat st {};
  void* map = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED,
                 fd, 0);
  }
  ::close(fd);
  if (map == MAP_FAILED) return "cannot map " + image.string();
  image_ = {static_cast<uint8_t*>(map), static_cast<std::size_t>(st.st_size)};
  sector_bytes_ = 1u << image_[108];
  cluster_bytes_ = sector_bytes_ << image_[109];
  fat_offset_ = LoadLe32(image_, 80);
  heap_offset_ = LoadLe32(image_, 88);
  cluster_count_ = LoadLe32(image_, 92);
  root_cluster_ = LoadLe32(image_, 96);
  for (uint64_t at = ClusterOffset(root_cluster_); image_[at] != 0; at += 32) {
    if (image_[at] == 0x81) bitmap_cluster_ = LoadLe32(image_, at + 20);
  }
  return bitmap_cluster_ != 0 ? "" : "no allocation bitmap in the root";
}

std::string ExFatImage::Save() const {
  if (image_.empty()) return "no image";
  return ::msync(image_.data(), image_.size(), MS_SYNC) == 0 ? ""
                                                             : "cannot write " + path_.string();
}

uint64_t ExFatImage::ClusterOffset(uint32_t cluster) const {
  return (uint64_t{heap_offset_} * sector_bytes_) + uint64_t{cluster - 2} * cluster_bytes_;
}

uint64_t ExFatImage::FatOffset(uint32_t cluster) const {
  return uint64_t{fat_offset_} * sector_bytes_ + uint64_t{cluster} * 4;
}

void ExFatImage::SetBit(uint32_t cluster, bool used) {
  uint8_t& byte = image_[ClusterOffset(bitmap_cluster_) + (cluster - 2) / 8];
  const auto mask = static_cast<uint8_t>(1u << ((cluster - 2) % 8));
  byte = used ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

std::vector<uint32_t> ExFatImage::Allocate(uint64_t count, ExFatLayout layout) {
  const uint32_t step = layout == ExFatLayout::kFragmented ? 2 : 1;
  auto used = [&](uint32_t c) {
    return (image_[ClusterOffset(bitmap_cluster_) + (c - 2) / 8] >> ((c - 2) % 8)) & 1;
  };
  for (uint32_t start = 2; start + (count - 1) * step <= cluster_count_ + 1; ++start) {
    std::vector<uint32_t> clusters;
    for (uint64_t i = 0; i < count && !used(static_cast<uint32_t>(start + i * step)); ++i) {
      clusters.push_back(static_cast<uint32_t>(start + i * step));
    }
    if (clusters.size() != count) continue;
    for (uint32_t c : clusters) SetBit(c, true);
    return clusters;
  }
  return {};
}

std::vector<uint8_t> ExFatImage::BuildSet(std::u16string_view name, uint16_t attributes,
                                          bool no_fat_chain, uint32_t first_cluster, uint64_t valid,
                                          uint64_t length, const ExFatStamp& stamp) const {
  const std::size_t names = (name.size() + 14) / 15;
  std::vector<uint8_t> set((2 + names) * 32, 0);
  set[0] = 0x85;
  set[1] = static_cast<uint8_t>(1 + names);
  StoreLe16(set, 4, attributes);
  for (int t = 0; t < 3; ++t) StoreLe32(set, 8 + 4 * t, stamp.dos);
  set[20] = set[21] = stamp.increment_10ms;
  set[22] = set[23] = set[24] = stamp.utc_offset;
  const std::span<uint8_t> stream = std::span(set).subspan(32, 32);
  stream[0] = 0xC0;
  stream[1] = static_cast<uint8_t>(0x01 | (no_fat_chain ? 0x02 : 0));
  stream[3] = static_cast<uint8_t>(name.size());
  StoreLe16(stream, 4, NameHash(name));
  StoreLe64(stream, 8, valid);
  StoreLe32(stream, 20, first_cluster);
  StoreLe64(stream, 24, length);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const std::size_t entry = (2 + i / 15) * 32;
    set[entry] = 0xC1;
    StoreLe16(set, entry + 2 + 2 * (i % 15), name[i]);
  }
  StoreLe16(set, 2, TestSetChecksum(set));
  return set;
}

void ExFatImage::WriteSet(uint32_t parent, std::vector<uint8_t>& set, ExFatItem* item) {
  // Like a driver, a new set takes the first run of entries not in use
  // that is long enough (a deleted set's included) in the parent's first
  // cluster, else the end of the directory.
  const uint64_t begin = ClusterOffset(parent);
  const uint64_t end = begin + cluster_bytes_;
  uint64_t at = begin;
  for (uint64_t run = 0; at + set.size() <= end && image_[at] != 0;) {
    run = (image_[at + run] & 0x80) == 0 ? run + 32 : 0;
    if (run == set.size()) break;
    if (run == 0) at += 32;
  }
  if (at + set.size() > end) return;
  std::memcpy(&image_[at], set.data(), set.size());
  item->set_offset = at;
  item->entry_count = static_cast<uint32_t>(set.size() / 32);
}

ExFatItem ExFatImage::AddFolder(uint32_t parent, std::u16string_view name,
                                const ExFatStamp& stamp) {
  ExFatItem item;
  item.clusters = Allocate(1, ExFatLayout::kContiguous);
  if (item.clusters.empty()) return item;
  std::memset(&image_[ClusterOffset(item.first_cluster())], 0, cluster_bytes_);
  auto set =
      BuildSet(name, 0x10, true, item.first_cluster(), cluster_bytes_, cluster_bytes_, stamp);
  WriteSet(parent, set, &item);
  return item;
}

ExFatItem ExFatImage::AddData(uint32_t parent, std::u16string_view name, uint64_t length,
                              uint64_t valid, ExFatLayout layout, const ExFatStamp& stamp) {
  ExFatItem item;
  const uint64_t count = (length + cluster_bytes_ - 1) / cluster_bytes_;
  if (count > 0) {
    item.clusters = Allocate(count, layout);
    if (item.clusters.empty()) return item;
  }
  if (layout != ExFatLayout::kContiguous) {
    for (std::size_t i = 0; i < item.clusters.size(); ++i) {
      const uint32_t next = i + 1 < item.clusters.size() ? item.clusters[i + 1] : 0xFFFFFFFF;
      StoreLe32(image_, FatOffset(item.clusters[i]), next);
    }
  }
  auto set = BuildSet(name, 0x20, layout == ExFatLayout::kContiguous && length != 0,
                      item.first_cluster(), valid, length, stamp);
  WriteSet(parent, set, &item);
  return item;
}

ExFatItem ExFatImage::AddFile(uint32_t parent, std::u16string_view name,
                              std::span<const uint8_t> bytes, ExFatLayout layout,
                              const ExFatStamp& stamp, uint64_t data_length) {
  const ExFatItem item = AddData(parent, name, std::max<uint64_t>(data_length, bytes.size()),
                                 bytes.size(), layout, stamp);
  WriteData(item, 0, bytes);
  return item;
}

ExFatItem ExFatImage::AddSparseFile(uint32_t parent, std::u16string_view name, uint64_t length,
                                    ExFatLayout layout, const ExFatStamp& stamp) {
  return AddData(parent, name, length, length, layout, stamp);
}

void ExFatImage::WriteData(const ExFatItem& item, uint64_t offset, std::span<const uint8_t> bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const uint64_t at = offset + done;
    const uint64_t index = at / cluster_bytes_;
    if (index >= item.clusters.size()) return;
    const uint64_t within = at % cluster_bytes_;
    const std::size_t n = std::min<std::size_t>(cluster_bytes_ - within, bytes.size() - done);
    std::memcpy(&image_[ClusterOffset(item.clusters[index]) + within], bytes.data() + done, n);
    done += n;
  }
}

void ExFatImage::Delete(const ExFatItem& item) {
  for (uint32_t i = 0; i < item.entry_count; ++i) image_[item.set_offset + 32 * i] &= 0x7F;
  for (uint32_t c : item.clusters) SetBit(c, false);
}

}  // namespace vexlo::testing
