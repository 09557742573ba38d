#include "carving/formats/tiff_structure.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "carving/formats/bytes.h"

namespace vexlo::carving {
namespace {

constexpr uint16_t kStripOffsets = 0x0111;
constexpr uint16_t kStripByteCounts = 0x0117;
constexpr uint16_t kTileOffsets = 0x0144;
constexpr uint16_t kTileByteCounts = 0x0145;
constexpr uint16_t kSubIfds = 0x014A;
constexpr uint16_t kJpegOffset = 0x0201;
constexpr uint16_t kJpegLength = 0x0202;
constexpr uint16_t kExifIfd = 0x8769;
constexpr uint16_t kGpsIfd = 0x8825;
constexpr uint16_t kInteropIfd = 0xA005;

// Each kind of image part (strips, tiles, the JPEG preview) is given by
// two fields: a table of offsets and one of byte counts, in the same order.
struct PartFields {
  uint16_t offsets;
  uint16_t lengths;
};
constexpr PartFields kPartFields[] = {
    {kStripOffsets, kStripByteCounts}, {kTileOffsets, kTileByteCounts}, {kJpegOffset, kJpegLength}};
constexpr std::size_t kPartKinds = std::size(kPartFields);

constexpr std::size_t kEntryBytes = 12;
constexpr std::size_t kMaxDirectories = 64;
// Strip and tile tables longer than this, and directories of more than
// 340 entries, are not followed.
constexpr std::size_t kMaxParts = 2048;
constexpr std::size_t kMaxDirectoryBytes = 4096;

// Bytes of one value of a field type; 0 for an unknown type.
uint32_t TypeBytes(uint16_t type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
      return 1;
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
    case 13:
      return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
      return 8;
    default:
      return 0;
  }
}

class TiffWalk {
 public:
  TiffWalk(FileMeasure& file, const uint8_t* sector, std::size_t length, uint64_t limit, bool big)
      : file_(file), sector_(sector), header_bytes_(length), limit_(limit), order_{big} {}

  std::optional<uint64_t> Run(uint64_t first_directory) {
    Queue(first_directory);
    for (std::size_t next = 0; next < queued_; ++next) {
      if (!Directory(directories_[next])) return std::nullopt;
    }
    if (!image_data_ || end_ > limit_) return std::nullopt;
    return end_;
  }

 private:
  const uint8_t* At(uint64_t offset, std::size_t size) {
    if (offset > limit_ || size > limit_ - offset) return nullptr;
    if (offset + size <= header_bytes_) return sector_ + offset;
    return file_.PeekAt(offset, size);
  }
  uint32_t U16(const uint8_t* p) const { return order_.U16({p, 2}, 0); }
  uint32_t U32(const uint8_t* p) const { return order_.U32({p, 4}, 0); }
  void Reach(uint64_t end) { end_ = std::max(end_, end); }
  void Queue(uint64_t offset) {
    if (offset == 0 || queued_ == directories_.size()) return;
    if (std::find(directories_.begin(), directories_.begin() + queued_, offset) !=
        directories_.begin() + queued_) {
      return;
    }
    directories_[queued_++] = offset;
  }

  // Reads `count` values of `type` at `offset` into values_; false when
  // they cannot be read.
  bool Values(uint64_t offset, uint16_t type, uint32_t count, const uint8_t* inline_value,
              std::array<uint32_t, kMaxParts>* values) {
    const uint32_t width = TypeBytes(type);
    if ((width != 2 && width != 4) || count > kMaxParts) return false;
    const uint64_t bytes = uint64_t{width} * count;
    const uint8_t* p = bytes <= 4 ? inline_value : At(offset, static_cast<std::size_t>(bytes));
    if (p == nullptr) return false;
    for (uint32_t i = 0; i < count; ++i) {
      (*values)[i] = width == 2 ? U16(p + 2 * i) : U32(p + 4 * i);
    }
    return true;
  }

  bool Directory(uint64_t offset) {
    const uint8_t* head = At(offset, 2);
    if (head == nullptr) return false;
    const uint32_t count = U16(head);
    const uint64_t bytes = 2 + uint64_t{count} * kEntryBytes + 4;
    if (count == 0 || bytes > kMaxDirectoryBytes) return false;
    const uint8_t* entries = At(offset, static_cast<std::size_t>(bytes));
    if (entries == nullptr) return false;
    std::memcpy(directory_.data(), entries, static_cast<std::size_t>(bytes));
    Reach(offset + bytes);
    // Part tables: offsets and byte counts of strips, tiles or the preview.
    struct Table {
      uint16_t type = 0;
      uint32_t count = 0;
      uint64_t offset = 0;
      const uint8_t* inline_value = nullptr;
    } offsets[kPartKinds], lengths[kPartKinds];
    for (uint32_t e = 0; e < count; ++e) {
      const uint8_t* entry = directory_.data() + 2 + e * kEntryBytes;
      const uint16_t tag = static_cast<uint16_t>(U16(entry));
      const uint16_t type = static_cast<uint16_t>(U16(entry + 2));
      const uint32_t values = U32(entry + 4);
      const uint64_t value_bytes = uint64_t{TypeBytes(type)} * values;
      const uint64_t value = U32(entry + 8);
      if (value_bytes > 4) Reach(value + value_bytes);
      const Table table{type, values, value, entry + 8};
      for (std::size_t t = 0; t < kPartKinds; ++t) {
        if (tag == kPartFields[t].offsets) offsets[t] = table;
        if (tag == kPartFields[t].lengths) lengths[t] = table;
      }
      switch (tag) {
        case kExifIfd:
        case kGpsIfd:
        case kInteropIfd:
          Queue(value);
          break;
        case kSubIfds: {
          if (!Values(value, type == 13 ? 4 : type, values, entry + 8, &parts_)) return false;
          for (uint32_t i = 0; i < values; ++i) Queue(parts_[i]);
          break;
        }
        default:
          break;
      }
    }
    for (std::size_t t = 0; t < kPartKinds; ++t) {
      if (offsets[t].count == 0 || offsets[t].count != lengths[t].count) continue;
      const uint32_t n = offsets[t].count;
      if (!Values(lengths[t].offset, lengths[t].type, n, lengths[t].inline_value, &parts_))
        return false;
      std::array<uint32_t, kMaxParts>& sizes = parts_;
      // The offsets come second, into the other table, and pair up.
      if (!Values(offsets[t].offset, offsets[t].type, n, offsets[t].inline_value, &starts_))
        return false;
      for (uint32_t i = 0; i < n; ++i) Reach(uint64_t{starts_[i]} + sizes[i]);
      image_data_ = true;
    }
    Queue(U32(directory_.data() + 2 + count * kEntryBytes));
    return true;
  }

  FileMeasure& file_;
  const uint8_t* sector_;
  std::size_t header_bytes_;
  uint64_t limit_;
  FieldOrder order_;
  uint64_t end_ = 8;
  bool image_data_ = false;
  std::array<uint64_t, kMaxDirectories> directories_{};
  std::size_t queued_ = 0;
  std::array<uint8_t, kMaxDirectoryBytes> directory_{};
  std::array<uint32_t, kMaxParts> parts_{};
  std::array<uint32_t, kMaxParts> starts_{};
};

}  // namespace

std::optional<uint64_t> TiffEnd(FileMeasure& file, const uint8_t* sector, std::size_t length,
                                uint64_t cap_bytes) {
  const std::size_t header_bytes = std::min<std::size_t>(length, file.sector_bytes());
  if (header_bytes < 8) return std::nullopt;
  const bool big = sector[0] == 'M';
  const uint64_t first = FieldOrder{big}.U32({sector, 8}, 4);
  TiffWalk walk(file, sector, header_bytes, std::min(cap_bytes, file.BytesToMediumEnd()), big);
  return walk.Run(first);
}

uint64_t TiffLength(FileMeasure& file, const uint8_t* sector, std::size_t length) {
  if (auto end = TiffEnd(file, sector, length, k128MiB)) return *end;
  return SearchForwardPlain(file, k128MiB);
}

}  // namespace vexlo::carving
