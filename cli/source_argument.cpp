#include "cli/source_argument.h"

#include <sys/stat.h>

#include <charconv>
#include <vector>

#include "storage/disk_enumerator.h"

namespace vexlo::cli {
namespace {

constexpr std::string_view kEntryPrefix = "entry:";

// A stretch of a disk must hold sectors: a count of 0 would mean the whole
// disk to the copier.
SourceStatus NonEmpty(const SourceArgument* source, ErrorCode* code, std::string* message) {
  if (source->sector_count != 0) return SourceStatus::kResolved;
  *code = err::kInvalidParameter;
  *message += " (holds no whole sector)";
  return SourceStatus::kFailed;
}

SourceStatus ResolveEntry(std::string_view number_text, const platform::SysfsRoots& roots,
                          SourceArgument* source, ErrorCode* code, std::string* message) {
  unsigned number = 0;
  const auto [end, ec] =
      std::from_chars(number_text.data(), number_text.data() + number_text.size(), number);
  if (ec != std::errc() || end != number_text.data() + number_text.size() || number == 0) {
    *message = "'entry:' needs the positive number of an entry of 'vexlo-recover list'";
    return SourceStatus::kBadSyntax;
  }
  *message = "entry:" + std::string(number_text);
  DiskEnumerator enumerator(roots);
  if (!enumerator.BuildDiskList()) {
    *code = err::kPathNotFound;
    *message += " (the disk list cannot be read)";
    return SourceStatus::kFailed;
  }
  PartitionRecord entry;
  while (enumerator.NextEntry(&entry)) {
    if (entry.id != number) continue;
    source->kind = SourceArgument::Kind::kDisk;
    source->path = entry.root_path.empty() ? entry.disk_path : entry.root_path;
    source->disk_number = static_cast<uint32_t>(entry.disk_number);
    source->first_sector = entry.start;
    source->sector_count = entry.length;
    return NonEmpty(source, code, message);
  }
  *code = err::kFileNotFound;
  *message += " (no such entry in 'vexlo-recover list')";
  return SourceStatus::kFailed;
}

}  // namespace

SourceStatus ResolveSourceArgument(std::string_view text, const platform::SysfsRoots& roots,
                                   SourceArgument* source, ErrorCode* code, std::string* message) {
  *source = SourceArgument{};
  *code = err::kSuccess;
  message->clear();
  if (text.starts_with(kEntryPrefix)) {
    return ResolveEntry(text.substr(kEntryPrefix.size()), roots, source, code, message);
  }

  source->path = std::filesystem::path(text);
  *message = std::string(text);
  struct stat st {};
  if (::stat(source->path.c_str(), &st) != 0) {
    *code = LastErrorCode();
    return SourceStatus::kFailed;
  }
  if (S_ISREG(st.st_mode)) {
    source->kind = SourceArgument::Kind::kImageFile;
    return SourceStatus::kResolved;
  }
  if (!S_ISBLK(st.st_mode)) {
    *code = err::kInvalidParameter;
    *message += " (neither an image file nor a block device)";
    return SourceStatus::kFailed;
  }
  uint32_t disk_number = 0;
  const platform::PartitionInfo* partition = nullptr;
  std::vector<platform::DiskInfo> table;
  if (!platform::FindDeviceInTable(source->path, roots, &disk_number, &partition, &table)) {
    *code = err::kInvalidParameter;
    *message += " (not a disk or partition of this system's disk table)";
    return SourceStatus::kFailed;
  }
  source->kind = SourceArgument::Kind::kDisk;
  source->disk_number = disk_number;
  if (partition != nullptr) {
    const uint64_t sector_bytes = table[disk_number].logical_block_size;
    source->first_sector = partition->start_512 * 512 / sector_bytes;
    source->sector_count = partition->size_512 * 512 / sector_bytes;
    return NonEmpty(source, code, message);
  }
  return SourceStatus::kResolved;
}

}  // namespace vexlo::cli
