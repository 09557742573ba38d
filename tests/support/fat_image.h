// FAT test volumes built with Debian's dosfstools and mtools, and the raw
// bytes of FAT directory entries for crafting what those tools cannot make.
//
// Images are plain files; mtools works on them directly ("-i image"), no
// mount is needed. Every helper returns an empty string on success, else a
// description of what failed, for use in ASSERT_EQ(..., "").
//
// The entry builders here encode FAT independently of the code under test,
// so that a misreading in one does not hide the same misreading in the other.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::testing {

struct FatFormat {
  int fat_bits = 32;                 // 12, 16 or 32
  uint64_t size_kib = 65536;         // image size in KiB
  uint32_t sectors_per_cluster = 0;  // 0: mkfs.fat's choice
  uint32_t sector_bytes = 512;
  uint32_t root_entries = 0;  // FAT12/16; 0: mkfs.fat's choice
};

// Creates `image` and formats it (mkfs.fat --invariant, so layouts repeat).
std::string MakeFatImage(const std::filesystem::path& image, const FatFormat& format);

// Runs an mtools command on the image: `tool` is "mcopy", "mmd", "mdel",
// "mdeltree" ...; arguments are quoted; "::" paths address the image.
std::string Mtools(const std::filesystem::path& image, const std::string& tool,
                   const std::vector<std::string>& arguments);

// The last-write time FatWriteFile gives every file, as FAT keeps it.
inline constexpr const char* kFatTestFileTime = "2019-03-04 05:06:08";

// Writes `bytes` to a host file and copies it to `fat_path` ("/dir/name"),
// with the last-write time `time` ("YYYY-MM-DD hh:mm:ss", as FAT keeps it).
std::string FatWriteFile(const std::filesystem::path& image, const std::string& fat_path,
                         const std::vector<uint8_t>& bytes,
                         std::string_view time = kFatTestFileTime);

// Makes the folder /D and right after it its subfolder /D/S, holding
// inner.txt of `inner`; then copies more small files into /D than one of
// its clusters holds entries, so that its second cluster comes after S's;
// then deletes /D with all it holds.
std::string MakeDeletedFolderBeforeItsSubfolder(const std::filesystem::path& image,
                                                const std::vector<uint8_t>& inner);

// Runs a shell command and captures its standard output; returns the exit
// status (-1 when it could not run).
int RunCapture(const std::string& command, std::string* output);

// Quotes a word for the shell.
std::string ShellQuote(std::string_view word);

// Deterministic bytes that differ per seed and per position.
std::vector<uint8_t> PatternBytes(std::size_t size, uint32_t seed);

// A JPEG of `size` bytes that decodes whole, its comment segments filled
// with PatternBytes: what the content tests of ".jpg" files accept (at least
// 163 bytes; shorter ones are a JFIF start and the pattern).
std::vector<uint8_t> JpegBytes(std::size_t size, uint32_t seed);

// sha256 of a file as lower-case hex (sha256sum); empty when it fails.
std::string Sha256OfFile(const std::filesystem::path& file);
std::string Sha256OfBytes(std::span<const uint8_t> bytes);

// Raw access to an image file.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, uint64_t offset,
                                   std::size_t length);
void WriteFileBytes(const std::filesystem::path& file, uint64_t offset,
                    std::span<const uint8_t> bytes);

// The FAT layout of an image as a test needs it, read from its boot sector
// by this helper's own code.
struct FatLayout {
  uint32_t bytes_per_sector = 0;
  uint32_t sectors_per_cluster = 0;
  uint32_t reserved_sectors = 0;
  uint32_t fat_count = 0;
  uint32_t sectors_per_fat = 0;
  uint32_t root_entries = 0;
  uint32_t root_cluster = 0;  // FAT32
  bool fat32 = false;
  uint64_t root_offset = 0;  // byte offset of the FAT12/16 root
  uint64_t data_offset = 0;  // byte offset of cluster 2
  uint64_t ClusterOffset(uint32_t cluster) const;
  uint32_t cluster_bytes() const { return bytes_per_sector * sectors_per_cluster; }
};
FatLayout ReadFatLayout(const std::filesystem::path& image);

using RawDirEntry = std::array<uint8_t, 32>;

// A short entry: `name11` is the 8 + 3 padded name ("NOTES   TXT"), written
// as given (0xE5 first for a deleted one). Dates are 2021-06-15 10:20:30.
RawDirEntry ShortEntry(std::string_view name11, uint8_t attributes, uint32_t first_cluster,
                       uint32_t size);

// The long-name entries of `name` for a short name, in on-disk order (last
// part first), with sequence numbers and checksum set.
std::vector<RawDirEntry> LongNameEntries(std::u16string_view name, std::string_view name11);

// Marks entries deleted (first byte 0xE5).
void MarkDeleted(std::span<RawDirEntry> entries);

// The FAT checksum of a short name (independent implementation).
uint8_t ShortNameChecksumForTest(std::string_view name11);

}  // namespace vexlo::testing
