#include "tests/support/ntfs_image.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ondisk/endian.h"

namespace vexlo::testing {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool Run(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return false;
  std::string text;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return status == 0;
}

// The image is edited in place through pointers to its records, whose
// bounds the callers check as mkntfs wrote them.
uint16_t Get16(const uint8_t* p) { return LoadLe16({p, 2}, 0); }
uint32_t Get32(const uint8_t* p) { return LoadLe32({p, 4}, 0); }
uint64_t Get64(const uint8_t* p) { return LoadLe64({p, 8}, 0); }
void Put16(uint8_t* p, uint16_t v) { StoreLe16({p, 2}, 0, v); }
void Put32(uint8_t* p, uint32_t v) { StoreLe32({p, 4}, 0, v); }

struct Run_ {
  uint64_t lcn;
  uint64_t length;
};

std::vector<Run_> DecodeRuns(const uint8_t* p, const uint8_t* end) {
  std::vector<Run_> runs;
  int64_t lcn = 0;
  while (p < end && *p != 0) {
    const int ls = *p & 0xF, os = *p >> 4;
    ++p;
    const uint64_t length = LoadLeN({p, 8}, 0, ls);
    p += ls;
    auto delta = static_cast<int64_t>(LoadLeN({p, 8}, 0, os));
    if (os > 0 && (p[os - 1] & 0x80)) delta -= int64_t{1} << (8 * os);
    p += os;
    lcn += delta;
    runs.push_back({os == 0 ? UINT64_MAX : static_cast<uint64_t>(lcn), length});
  }
  return runs;
}

// The whole image in memory; written back by Save().
class Image {
 public:
  explicit Image(const fs::path& path) : path_(path) {
    std::error_code ec;
    bytes_.resize(fs::file_size(path, ec));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    if (ec || !in) bytes_.clear();
    if (bytes_.size() < 512) return;
    sector_ = Get16(&bytes_[11]);
    cluster_ = sector_ * bytes_[13];
    const auto record_byte = static_cast<int8_t>(bytes_[64]);
    record_ = record_byte < 0 ? 1u << -record_byte : record_byte * cluster_;
    const uint64_t mft = Get64(&bytes_[48]) * cluster_;
    // $MFT's own runs from record 0, read in place.
    std::vector<uint8_t> record0(bytes_.begin() + mft, bytes_.begin() + mft + record_);
    Unfix(record0.data(), record_);
    if (const uint8_t* data = FindAttribute(record0.data(), 0x80)) mft_runs_ = RunsOf(data);
    ok_ = !mft_runs_.empty();
  }
  bool ok() const { return ok_; }
  uint32_t cluster_bytes() const { return cluster_; }

  bool Save() {
    std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out.write(reinterpret_cast<const char*>(bytes_.data()),
              static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(out);
  }

  // Byte offset of a position in a stream laid out by `runs`.
  uint64_t StreamOffset(const std::vector<Run_>& runs, uint64_t position) const {
    for (const Run_& run : runs) {
      if (position < run.length * cluster_) return run.lcn * cluster_ + position;
      position -= run.length * cluster_;
    }
    return UINT64_MAX;
  }
  uint8_t* Record(uint64_t number) {
    const uint64_t offset = StreamOffset(mft_runs_, number * record_);
    return offset == UINT64_MAX ? nullptr : &bytes_[offset];
  }
  uint32_t record_bytes() const { return record_; }

  static void Unfix(uint8_t* block, uint32_t size) {
    const uint16_t usa = Get16(block + 4);
    for (uint32_t i = 0; i < size / 512; ++i) {
      std::memcpy(block + (i + 1) * 512 - 2, block + usa + 2 * (i + 1), 2);
    }
  }
  static void Refix(uint8_t* block, uint32_t size) {
    const uint16_t usa = Get16(block + 4);
    const uint16_t usn = Get16(block + usa);
    for (uint32_t i = 0; i < size / 512; ++i) {
      std::memcpy(block + usa + 2 * (i + 1), block + (i + 1) * 512 - 2, 2);
      Put16(block + (i + 1) * 512 - 2, usn);
    }
  }
  static const uint8_t* FindAttribute(const uint8_t* record, uint32_t type) {
    uint32_t offset = Get16(record + 20);
    const uint32_t used = Get32(record + 24);
    while (offset + 8 <= used) {
      const uint32_t t = Get32(record + offset);
      const uint32_t length = Get32(record + offset + 4);
      if (t == 0xFFFFFFFF || length == 0) break;
      if (t == type) return record + offset;
      offset += length;
    }
    return nullptr;
  }
  static std::vector<Run_> RunsOf(const uint8_t* attribute) {
    return DecodeRuns(attribute + Get16(attribute + 32), attribute + Get32(attribute + 4));
  }
  void ClearBit(const std::vector<Run_>& runs, uint64_t bit) {
    const uint64_t offset = StreamOffset(runs, bit / 8);
    if (offset != UINT64_MAX) bytes_[offset] &= static_cast<uint8_t>(~(1u << (bit % 8)));
  }
  void SetBit(const std::vector<Run_>& runs, uint64_t bit) {
    const uint64_t offset = StreamOffset(runs, bit / 8);
    if (offset != UINT64_MAX) bytes_[offset] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  std::vector<Run_> BitmapRuns() {
    std::vector<uint8_t> copy(Record(6), Record(6) + record_);
    Unfix(copy.data(), record_);
    const uint8_t* data = FindAttribute(copy.data(), 0x80);
    return data ? RunsOf(data) : std::vector<Run_>{};
  }
  bool GetBit(const std::vector<Run_>& runs, uint64_t bit) const {
    const uint64_t offset = StreamOffset(runs, bit / 8);
    return offset == UINT64_MAX || (bytes_[offset] >> (bit % 8)) & 1;
  }
  uint64_t total_clusters() const { return Get64(&bytes_[40]) * sector_ / cluster_; }
  uint8_t* bytes() { return bytes_.data(); }

 private:
  fs::path path_;
  std::vector<uint8_t> bytes_;
  uint32_t sector_ = 512, cluster_ = 4096, record_ = 1024;
  std::vector<Run_> mft_runs_;
  bool ok_ = false;
};

// Removes the entry naming `record` from an index header's entries (the
// header at `header`, the usable bytes up to `limit`). False when it is not
// there or has a subnode (removing it would need the tree rebalanced).
bool RemoveIndexEntry(uint8_t* header, const uint8_t* limit, uint64_t record) {
  const uint32_t entries = Get32(header);
  const uint32_t used = Get32(header + 4);
  uint8_t* entry = header + entries;
  uint8_t* end = header + used;
  if (end > limit) return false;
  while (entry + 16 <= end) {
    const uint16_t length = Get16(entry + 8);
    const uint32_t flags = Get32(entry + 12);
    if (length == 0 || (flags & 2)) return false;
    if ((Get64(entry) & 0x0000FFFFFFFFFFFFull) == record) {
      if (flags & 1) return false;
      std::memmove(entry, entry + length, static_cast<std::size_t>(end - entry - length));
      Put32(header + 4, used - length);
      return true;
    }
    entry += length;
  }
  return false;
}

}  // namespace

bool NtfsToolsAvailable() {
  return Run("command -v mkntfs && command -v ntfscp && command -v ntfsinfo");
}

std::string MakeNtfsImage(const fs::path& image, uint64_t size_bytes, uint32_t cluster_bytes) {
  std::error_code ec;
  fs::remove(image, ec);
  { std::ofstream(image, std::ios::binary); }
  fs::resize_file(image, size_bytes, ec);
  if (ec) return "cannot size " + image.string();
  std::string output;
  if (!Run("mkntfs -F -Q -q -c " + std::to_string(cluster_bytes) + " " + Quote(image.string()),
           &output)) {
    return "mkntfs failed: " + output;
  }
  return {};
}

std::string NtfsCopyIn(const fs::path& image, const fs::path& host_file,
                       const std::string& ntfs_path) {
  std::string output;
  if (!Run("ntfscp -f " + Quote(image.string()) + " " + Quote(host_file.string()) + " " +
               Quote(ntfs_path),
           &output)) {
    return "ntfscp " + ntfs_path + " failed: " + output;
  }
  return {};
}

std::string NtfsWriteFile(const fs::path& image, const std::string& ntfs_path,
                          const std::vector<uint8_t>& bytes) {
  const fs::path host = image.parent_path() / ("host_copy_" + std::to_string(getpid()));
  {
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  std::string result = NtfsCopyIn(image, host, ntfs_path);
  std::error_code ec;
  fs::remove(host, ec);
  return result;
}

int64_t NtfsRecordOf(const fs::path& image, const std::string& ntfs_path) {
  std::string output;
  if (!Run("ntfsinfo -F " + Quote(ntfs_path) + " " + Quote(image.string()), &output)) return -1;
  const auto at = output.find("Dumping Inode ");
  return at == std::string::npos ? -1 : std::strtoll(output.c_str() + at + 14, nullptr, 10);
}

NtfsMount::NtfsMount(const fs::path& image, const fs::path& mount_point)
    : mount_point_(mount_point) {
  std::error_code ec;
  fs::create_directories(mount_point, ec);
  mounted_ = Run("command -v ntfs-3g >/dev/null && ntfs-3g " + Quote(image.string()) + " " +
                 Quote(mount_point.string()));
}

NtfsMount::~NtfsMount() { Unmount(); }

void NtfsMount::Unmount() {
  if (!mounted_) return;
  // fusermount waits for nothing; umount makes ntfs-3g write everything out.
  Run("umount " + Quote(mount_point_.string()) + " || fusermount -u " +
      Quote(mount_point_.string()));
  mounted_ = false;
}

std::string NtfsMakeFolders(const fs::path& image, const std::vector<std::string>& ntfs_paths) {
  NtfsMount mount(image, image.parent_path() / ("mnt_" + std::to_string(getpid())));
  if (!mount.ok()) return "no ntfs-3g mount";
  for (const std::string& path : ntfs_paths) {
    std::error_code ec;
    fs::create_directories(mount.path() / path.substr(1), ec);
    if (ec) return "mkdir " + path + ": " + ec.message();
  }
  mount.Unmount();
  return {};
}

DeleteResult DeleteNtfsRecord(const fs::path& image_path, uint64_t number) {
  DeleteResult result;
  Image image(image_path);
  if (!image.ok()) return {"not an NTFS image", false};
  const uint32_t size = image.record_bytes();
  uint8_t* record = image.Record(number);
  if (record == nullptr || std::memcmp(record, "FILE", 4) != 0) return {"no such record", false};
  Image::Unfix(record, size);

  // The clusters of the unnamed data stream go back to the free space.
  const std::vector<Run_> bitmap = image.BitmapRuns();
  for (uint32_t offset = Get16(record + 20); offset + 8 <= Get32(record + 24);) {
    const uint8_t* attribute = record + offset;
    if (Get32(attribute) == 0xFFFFFFFF || Get32(attribute + 4) == 0) break;
    if (Get32(attribute) == 0x80 && attribute[8] != 0 && attribute[9] == 0) {
      for (const Run_& run : Image::RunsOf(attribute)) {
        if (run.lcn == UINT64_MAX) continue;
        for (uint64_t c = 0; c < run.length; ++c) image.ClearBit(bitmap, run.lcn + c);
      }
    }
    offset += Get32(attribute + 4);
  }
  const uint8_t* name = Image::FindAttribute(record, 0x30);
  const uint64_t parent =
      name ? Get64(name + Get16(name + 20)) & 0x0000FFFFFFFFFFFFull : UINT64_MAX;

  Put16(record + 22, static_cast<uint16_t>(Get16(record + 22) & ~1u));
  Put16(record + 16, static_cast<uint16_t>(Get16(record + 16) + 1));
  Image::Refix(record, size);

  uint8_t* record0 = image.Record(0);
  std::vector<uint8_t> copy0(record0, record0 + size);
  Image::Unfix(copy0.data(), size);
  if (const uint8_t* mft_bitmap = Image::FindAttribute(copy0.data(), 0xB0)) {
    image.ClearBit(Image::RunsOf(mft_bitmap), number);
  }

  if (parent != UINT64_MAX) {
    uint8_t* folder = image.Record(parent);
    Image::Unfix(folder, size);
    const uint8_t* root = Image::FindAttribute(folder, 0x90);
    const uint8_t* allocation = Image::FindAttribute(folder, 0xA0);
    if (root != nullptr) {
      uint8_t* value = const_cast<uint8_t*>(root) + Get16(root + 20);
      const uint32_t block_bytes = Get32(value + 8);
      result.index_entry_removed = RemoveIndexEntry(value + 16, root + Get32(root + 4), number);
      if (!result.index_entry_removed && allocation != nullptr) {
        const std::vector<Run_> runs = Image::RunsOf(allocation);
        const uint64_t total = Get64(allocation + 48);
        for (uint64_t at = 0; at < total && !result.index_entry_removed; at += block_bytes) {
          const uint64_t offset = image.StreamOffset(runs, at);
          if (offset == UINT64_MAX) break;
          uint8_t* block = image.bytes() + offset;
          if (std::memcmp(block, "INDX", 4) != 0) continue;
          Image::Unfix(block, block_bytes);
          result.index_entry_removed = RemoveIndexEntry(block + 24, block + block_bytes, number);
          Image::Refix(block, block_bytes);
        }
      }
    }
    Image::Refix(folder, size);
  }
  if (!image.Save()) result.error = "cannot write " + image_path.string();
  return result;
}

std::string NtfsScatterFile(const fs::path& image_path, uint64_t number) {
  Image image(image_path);
  if (!image.ok()) return "not an NTFS image";
  const uint32_t size = image.record_bytes();
  uint8_t* record = image.Record(number);
  if (record == nullptr) return "no such record";
  Image::Unfix(record, size);
  uint8_t* data = const_cast<uint8_t*>(Image::FindAttribute(record, 0x80));
  if (data == nullptr || data[8] == 0) return "no non-resident data";
  const std::vector<Run_> old_runs = Image::RunsOf(data);
  if (old_runs.size() != 1) return "data is not one run";
  const uint64_t count = old_runs[0].length;

  const std::vector<Run_> bitmap = image.BitmapRuns();
  std::vector<uint64_t> free;
  for (uint64_t c = 0; c < image.total_clusters() && free.size() < 4 * count + 2; ++c) {
    if (!image.GetBit(bitmap, c)) free.push_back(c);
  }
  if (free.size() < 4 * count + 2) return "not enough free clusters";
  // Even pieces climb from the front, odd ones descend from the back, every
  // other free cluster left out: no two pieces are adjacent.
  std::vector<uint64_t> targets(count);
  for (uint64_t i = 0; i < count; ++i) {
    targets[i] = i % 2 == 0 ? free[2 * (i / 2)] : free[4 * count - 2 * (i / 2)];
  }
  const uint32_t cluster = image.cluster_bytes();
  std::vector<uint8_t> encoded;
  int64_t previous = 0;
  for (uint64_t i = 0; i < count; ++i) {
    std::memmove(image.bytes() + targets[i] * cluster,
                 image.bytes() + (old_runs[0].lcn + i) * cluster, cluster);
    image.SetBit(bitmap, targets[i]);
    int64_t delta = static_cast<int64_t>(targets[i]) - previous;
    previous = static_cast<int64_t>(targets[i]);
    uint8_t delta_bytes[8];
    int width = 0;
    do {
      delta_bytes[width++] = static_cast<uint8_t>(delta);
      delta >>= 8;
    } while (!((delta == 0 && !(delta_bytes[width - 1] & 0x80)) ||
               (delta == -1 && (delta_bytes[width - 1] & 0x80))));
    encoded.push_back(static_cast<uint8_t>(0x01 | width << 4));
    encoded.push_back(1);
    encoded.insert(encoded.end(), delta_bytes, delta_bytes + width);
  }
  encoded.push_back(0);
  for (uint64_t i = 0; i < count; ++i) image.ClearBit(bitmap, old_runs[0].lcn + i);

  const uint32_t run_offset = Get16(data + 32);
  const uint32_t new_length = (run_offset + static_cast<uint32_t>(encoded.size()) + 7) & ~7u;
  const uint32_t old_length = Get32(data + 4);
  const uint32_t used = Get32(record + 24);
  const uint32_t data_at = static_cast<uint32_t>(data - record);
  if (used - old_length + new_length > size - 8) return "record too small for the run list";
  std::memmove(data + new_length, data + old_length, used - data_at - old_length);
  std::memset(data + run_offset, 0, new_length - run_offset);
  std::memcpy(data + run_offset, encoded.data(), encoded.size());
  Put32(data + 4, new_length);
  Put32(record + 24, used - old_length + new_length);
  Image::Refix(record, size);
  return image.Save() ? std::string() : "cannot write";
}

std::string DeleteNtfsFile(const fs::path& image, const std::string& ntfs_path) {
  const int64_t record = NtfsRecordOf(image, ntfs_path);
  if (record <= 0) return "no record for " + ntfs_path;
  return DeleteNtfsRecord(image, static_cast<uint64_t>(record)).error;
}

std::string NtfsReserveClusters(const fs::path& image_path, uint64_t first, uint64_t count,
                                uint64_t step) {
  Image image(image_path);
  if (!image.ok()) return "not an NTFS image";
  const std::vector<Run_> bitmap = image.BitmapRuns();
  for (uint64_t c = 0; c < count; ++c) image.SetBit(bitmap, first + c * step);
  return image.Save() ? std::string() : "cannot write";
}

}  // namespace vexlo::testing
