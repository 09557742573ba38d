#include "tests/support/fat_image.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "carving/test_samples.h"
#include "ondisk/endian.h"
#include "tests/support/fake_disk_tree.h"

namespace vexlo::testing {
namespace {

std::string Describe(const std::string& command, int status) {
  return status == 0 ? std::string() : "failed (" + std::to_string(status) + "): " + command;
}

// UTC so that the times mtools writes are the host times as they stand.
constexpr const char* kMtoolsEnvironment = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC ";

}  // namespace

std::string ShellQuote(std::string_view word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

int RunCapture(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output->append(chunk, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeFatImage(const std::filesystem::path& image, const FatFormat& format) {
  std::filesystem::remove(image);
  std::string command = "mkfs.fat --invariant -C -F " + std::to_string(format.fat_bits) + " -S " +
                        std::to_string(format.sector_bytes);
  if (format.sectors_per_cluster != 0) {
    command += " -s " + std::to_string(format.sectors_per_cluster);
  }
  if (format.root_entries != 0) command += " -r " + std::to_string(format.root_entries);
  command += " " + ShellQuote(image.string()) + " " + std::to_string(format.size_kib);
  return Describe(command, RunQuiet(command));
}

std::string Mtools(const std::filesystem::path& image, const std::string& tool,
                   const std::vector<std::string>& arguments) {
  std::string command =
      std::string(kMtoolsEnvironment) + tool + " -i " + ShellQuote(image.string());
  for (const std::string& argument : arguments) command += " " + ShellQuote(argument);
  return Describe(command, RunQuiet(command));
}

std::string FatWriteFile(const std::filesystem::path& image, const std::string& fat_path,
                         const std::vector<uint8_t>& bytes, std::string_view time) {
  const std::filesystem::path host = image.string() + ".incoming";
  {
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) return "cannot write " + host.string();
  }
  const std::string touch =
      "TZ=UTC touch -d '" + std::string(time) + "' " + ShellQuote(host.string());
  if (RunQuiet(touch) != 0) return "failed: " + touch;
  std::string result = Mtools(image, "mcopy", {"-o", "-m", host.string(), "::" + fat_path});
  std::filesystem::remove(host);
  return result;
}

std::string MakeDeletedFolderBeforeItsSubfolder(const std::filesystem::path& image,
                                                const std::vector<uint8_t>& inner) {
  if (std::string error = Mtools(image, "mmd", {"::/D", "::/D/S"}); !error.empty()) return error;
  if (std::string error = FatWriteFile(image, "/D/S/inner.txt", inner); !error.empty()) {
    return error;
  }
  // One mcopy for all, so that the files' entries fill /D in order.
  const std::filesystem::path host = image.string() + ".files";
  std::filesystem::create_directory(host);
  const uint32_t entries_per_cluster = ReadFatLayout(image).cluster_bytes() / 32;
  std::vector<std::string> files;
  for (uint32_t i = 0; i <= entries_per_cluster; ++i) {
    const std::filesystem::path file = host / ("F" + std::to_string(i) + ".TXT");
    std::ofstream(file) << "file " << i;
    files.push_back(file.string());
  }
  files.push_back("::/D/");
  const std::string copied = Mtools(image, "mcopy", files);
  std::filesystem::remove_all(host);
  if (!copied.empty()) return copied;
  return Mtools(image, "mdeltree", {"::/D"});
}

std::vector<uint8_t> PatternBytes(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::vector<uint8_t> JpegBytes(std::size_t size, uint32_t seed) {
  return carving::samples::JpegOfSize(size, PatternBytes(size, seed));
}

std::string Sha256OfFile(const std::filesystem::path& file) {
  std::string output;
  if (RunCapture("sha256sum " + ShellQuote(file.string()), &output) != 0) return {};
  return output.substr(0, output.find(' '));
}

std::string Sha256OfBytes(std::span<const uint8_t> bytes) {
  char name[] = "/tmp/vexlo_sha_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return {};
  close(fd);
  WriteFileBytes(name, 0, bytes);
  std::string hash = Sha256OfFile(name);
  std::filesystem::remove(name);
  return hash;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, uint64_t offset,
                                   std::size_t length) {
  std::vector<uint8_t> bytes(length);
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& file, uint64_t offset,
                    std::span<const uint8_t> bytes) {
  std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
  if (!out) out.open(file, std::ios::binary | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

uint64_t FatLayout::ClusterOffset(uint32_t cluster) const {
  return data_offset + uint64_t{cluster - 2} * cluster_bytes();
}

FatLayout ReadFatLayout(const std::filesystem::path& image) {
  const std::vector<uint8_t> b = ReadFileBytes(image, 0, 512);
  FatLayout layout;
  if (b.size() < 512) return layout;
  layout.bytes_per_sector = LoadLe16(b, 11);
  layout.sectors_per_cluster = b[13];
  layout.reserved_sectors = LoadLe16(b, 14);
  layout.fat_count = b[16];
  layout.root_entries = LoadLe16(b, 17);
  layout.fat32 = LoadLe16(b, 22) == 0;
  layout.sectors_per_fat = layout.fat32 ? LoadLe32(b, 36) : LoadLe16(b, 22);
  layout.root_cluster = layout.fat32 ? LoadLe32(b, 44) : 0;
  const uint64_t fats_end =
      uint64_t{layout.reserved_sectors} + uint64_t{layout.fat_count} * layout.sectors_per_fat;
  const uint64_t root_sectors =
      (uint64_t{layout.root_entries} * 32 + layout.bytes_per_sector - 1) / layout.bytes_per_sector;
  layout.root_offset = fats_end * layout.bytes_per_sector;
  layout.data_offset = (fats_end + root_sectors) * layout.bytes_per_sector;
  return layout;
}

uint8_t ShortNameChecksumForTest(std::string_view name11) {
  unsigned sum = 0;
  for (unsigned char c : name11.substr(0, 11))
    sum = (((sum & 1) ? 0x80u : 0u) + (sum >> 1) + c) & 0xFF;
  return static_cast<uint8_t>(sum);
}

RawDirEntry ShortEntry(std::string_view name11, uint8_t attributes, uint32_t first_cluster,
                       uint32_t size) {
  RawDirEntry e{};
  for (std::size_t i = 0; i < 11; ++i) e[i] = i < name11.size() ? name11[i] : ' ';
  e[11] = attributes;
  const uint16_t date = static_cast<uint16_t>(((2021 - 1980) << 9) | (6 << 5) | 15);
  const uint16_t time = static_cast<uint16_t>((10 << 11) | (20 << 5) | 15);
  StoreLe16(e, 14, time);
  StoreLe16(e, 16, date);
  StoreLe16(e, 18, date);
  StoreLe16(e, 20, static_cast<uint16_t>(first_cluster >> 16));
  StoreLe16(e, 22, time);
  StoreLe16(e, 24, date);
  StoreLe16(e, 26, static_cast<uint16_t>(first_cluster));
  StoreLe32(e, 28, size);
  return e;
}

std::vector<RawDirEntry> LongNameEntries(std::u16string_view name, std::string_view name11) {
  const std::size_t parts = (name.size() + 12) / 13;
  const uint8_t checksum = ShortNameChecksumForTest(name11);
  static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::vector<RawDirEntry> entries;
  for (std::size_t part = parts; part >= 1; --part) {
    RawDirEntry e{};
    e[0] = static_cast<uint8_t>(part | (part == parts ? 0x40 : 0));
    e[11] = 0x0F;
    e[13] = checksum;
    for (std::size_t i = 0; i < 13; ++i) {
      const std::size_t at = (part - 1) * 13 + i;
      const uint16_t unit = at < name.size() ? name[at] : (at == name.size() ? 0 : 0xFFFF);
      StoreLe16(e, kOffsets[i], unit);
    }
    entries.push_back(e);
  }
  return entries;
}

void MarkDeleted(std::span<RawDirEntry> entries) {
  for (RawDirEntry& e : entries) e[0] = 0xE5;
}

}  // namespace vexlo::testing
