// The fixed 346-byte record of a found file or folder.
//
// The same byte image is held in memory, passed to and from the engines, and
// stored back to back in a scan's record file, so its layout is part of the
// on-disk format: packed, little-endian, every offset checked below. Names are
// UTF-8, NUL-terminated, at most 259 bytes of text, cut only at a character
// boundary and with the extension kept (SetName).
//
// Never take the address of a field: the struct is packed, and a pointer to a
// misaligned member is not a valid pointer to its type.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

static_assert(std::endian::native == std::endian::little,
              "found-file records are stored in host order, which must be little-endian");

// 1-based number of a record in its store; record n lies at byte
// (n - 1) x 346 of the record file.
using RecordNumber = uint32_t;

// Which engine produced a record.
enum class FsKind : uint32_t {
  kNtfsQuick = 0,
  kFatQuick = 1,
  kNtfsFormatted = 2,
  kFatFormatted = 3,
  kCarving = 4,
  kExFatQuick = 5,
};

inline constexpr std::size_t kRecordNameBytes = 260;
inline constexpr std::size_t kRecordNameMaxText = kRecordNameBytes - 1;

#pragma pack(push, 1)
struct FoundFileRecord {
  uint16_t source_id;        // identifier the source was opened with
  uint32_t fs_kind;          // FsKind
  uint32_t is_folder;        // 1 folder, 0 file
  uint32_t deleted;          // 1 deleted, or inside a deleted folder
  uint32_t content_check;    // 0 when the first sector failed the extension's test
  uint32_t record_number;    // RecordNumber (a parent key while a FAT folder waits to be emitted)
  uint32_t key;              // FAT: first cluster; NTFS: MFT record number
  int32_t cluster_bytes;     // bytes per cluster; -1 for carved and lost-folder records
  uint64_t created;          // FILETIME
  uint64_t accessed;         // FILETIME
  uint64_t modified;         // FILETIME
  uint64_t size;             // bytes; 0 for folders
  uint64_t data_start;       // FAT: sector of cluster 2, relative to the partition
  uint64_t entry_sector;     // sector of the directory entry or FILE record
  uint64_t partition_start;  // absolute first sector of the scanned partition
  char name[kRecordNameBytes];

  // Sets the name, cut to 259 bytes at a UTF-8 character boundary, its
  // extension kept.
  void SetName(std::string_view text);
  std::string_view Name() const;
};
#pragma pack(pop)

inline constexpr std::size_t kFoundFileRecordBytes = 346;

static_assert(sizeof(FoundFileRecord) == kFoundFileRecordBytes);
static_assert(offsetof(FoundFileRecord, source_id) == 0);
static_assert(offsetof(FoundFileRecord, fs_kind) == 2);
static_assert(offsetof(FoundFileRecord, is_folder) == 6);
static_assert(offsetof(FoundFileRecord, deleted) == 10);
static_assert(offsetof(FoundFileRecord, content_check) == 14);
static_assert(offsetof(FoundFileRecord, record_number) == 18);
static_assert(offsetof(FoundFileRecord, key) == 22);
static_assert(offsetof(FoundFileRecord, cluster_bytes) == 26);
static_assert(offsetof(FoundFileRecord, created) == 30);
static_assert(offsetof(FoundFileRecord, accessed) == 38);
static_assert(offsetof(FoundFileRecord, modified) == 46);
static_assert(offsetof(FoundFileRecord, size) == 54);
static_assert(offsetof(FoundFileRecord, data_start) == 62);
static_assert(offsetof(FoundFileRecord, entry_sector) == 70);
static_assert(offsetof(FoundFileRecord, partition_start) == 78);
static_assert(offsetof(FoundFileRecord, name) == 86);

// A record with every byte zero.
FoundFileRecord EmptyRecord();

// 64-bit folder key: low half = the folder's `key`, high half = its level
// (root 0, a folder below it 1 ...). When the root has no key the root is
// addressed with level all-ones.
using FolderKey = uint64_t;

constexpr FolderKey MakeFolderKey(uint32_t key, uint32_t level) {
  return (uint64_t{level} << 32) | key;
}
constexpr uint32_t FolderKeyLow(FolderKey folder) { return static_cast<uint32_t>(folder); }
constexpr uint32_t FolderKeyLevel(FolderKey folder) { return static_cast<uint32_t>(folder >> 32); }

// The extension of a record name: the text after the last ".", empty when
// there is no dot.
std::string_view ExtensionOf(std::string_view name);

}  // namespace vexlo
