#include "cli/source_argument.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <system_error>
#include <vector>

#include "catalogue/device_refusal.h"
#include "cli/command_line.h"
#include "platform/sector_source.h"
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

// The decimal number that is all of `text`; false when it is not one.
bool ReadNumber(std::string_view text, uint32_t* number) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *number);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

SourceStatus ResolveEntry(std::string_view number_text, const platform::SysfsRoots& roots,
                          SourceArgument* source, ErrorCode* code, std::string* message) {
  uint32_t number = 0;
  if (!ReadNumber(number_text, &number) || number == 0) {
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
    // A disk listed without volumes may still hold a table the system did
    // not read (a loop device attached without partition scanning).
    source->whole_medium = entry.kind == EntryKind::kWholeDisk;
    return NonEmpty(source, code, message);
  }
  *code = err::kFileNotFound;
  *message += " (no such entry in 'vexlo-recover list')";
  return SourceStatus::kFailed;
}

// An image file or a block device, named by its path.
SourceStatus ResolvePath(std::string_view text, const platform::SysfsRoots& roots,
                         SourceArgument* source, ErrorCode* code, std::string* message) {
  source->path = std::filesystem::path(text);
  *message = std::string(text);
  struct stat st {};
  if (::stat(source->path.c_str(), &st) != 0) {
    *code = LastErrorCode();
    return SourceStatus::kFailed;
  }
  if (S_ISREG(st.st_mode)) {
    source->kind = SourceArgument::Kind::kImageFile;
    source->sector_count = static_cast<uint64_t>(st.st_size) / 512;
    source->whole_medium = true;
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
  const uint64_t sector_bytes = table[disk_number].logical_block_size;
  if (partition == nullptr) {
    source->sector_count = table[disk_number].size_512 * 512 / sector_bytes;
    source->whole_medium = true;
    return NonEmpty(source, code, message);
  }
  source->first_sector = partition->start_512 * 512 / sector_bytes;
  source->sector_count = partition->size_512 * 512 / sector_bytes;
  return NonEmpty(source, code, message);
}

// Partition `number` of the image or whole disk named `medium_text`.
SourceStatus ResolvePartitionOf(std::string_view text, std::string_view medium_text,
                                uint32_t number, const platform::SysfsRoots& roots,
                                SourceArgument* source, ErrorCode* code, std::string* message) {
  if (SourceStatus status = ResolvePath(medium_text, roots, source, code, message);
      status != SourceStatus::kResolved) {
    return status;
  }
  *message = std::string(text);
  if (!source->whole_medium) {
    *code = err::kInvalidParameter;
    *message += " (a partition number follows a whole image or disk, not a partition)";
    return SourceStatus::kFailed;
  }
  MediumLayout layout;
  if (ErrorCode rc = ReadSourceLayout(*source, &layout); !rc.ok()) {
    *code = rc;
    return SourceStatus::kFailed;
  }
  const std::optional<MediumPartition> partition = layout.Find(number);
  if (!partition) {
    *message = std::string(medium_text) + " has no partition " + std::to_string(number) +
               "; 'vexlo-recover list " + std::string(medium_text) + "' shows its partitions.";
    return SourceStatus::kNoSuchPart;
  }
  source->first_sector = partition->first_sector;
  source->sector_count = partition->sector_count;
  source->whole_medium = false;
  return NonEmpty(source, code, message);
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
  // A file whose own name ends in ":N" is that file, not a partition of
  // another one.
  struct stat st {};
  const std::size_t colon = text.rfind(':');
  uint32_t number = 0;
  if (colon != std::string_view::npos && ::stat(std::string(text).c_str(), &st) != 0 &&
      ReadNumber(text.substr(colon + 1), &number)) {
    return ResolvePartitionOf(text, text.substr(0, colon), number, roots, source, code, message);
  }
  return ResolvePath(text, roots, source, code, message);
}

int ResolveSource(std::string_view text, SourceArgument* source, std::string* name) {
  ErrorCode code;
  switch (ResolveSourceArgument(text, {}, source, &code, name)) {
    case SourceStatus::kBadSyntax:
      return UsageError(*name);
    case SourceStatus::kFailed:
      return SourceFailure(*source, *name, code);
    case SourceStatus::kNoSuchPart:
      std::fprintf(stderr, "vexlo-recover: %s\n", name->c_str());
      return kExitFailure;
    case SourceStatus::kResolved:
      break;
  }
  if (source->kind == SourceArgument::Kind::kImageFile) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::weakly_canonical(source->path, ec);
    if (!ec) source->path = std::move(absolute);
  }
  return kExitSuccess;
}

int SourceFailure(const SourceArgument& source, std::string_view name, ErrorCode code) {
  if (code == err::kAccessDenied && source.kind == SourceArgument::Kind::kDisk) {
    std::fprintf(
        stderr, "vexlo-recover: %s\n",
        catalogue::DeviceRefusedText(source.path.string(), platform::RunsAsRoot()).c_str());
    return kExitFailure;
  }
  return Failure(name, code);
}

ErrorCode OpenSourceMedium(const SourceArgument& source, DiskHandle* disk) {
  return source.kind == SourceArgument::Kind::kImageFile
             ? OpenImageFile(source.path, disk)
             : OpenPhysicalDisk(source.disk_number, disk);
}

ErrorCode ReadSourceLayout(const SourceArgument& source, MediumLayout* layout) {
  return source.kind == SourceArgument::Kind::kImageFile
             ? ReadImageLayout(source.path, layout)
             : ReadDiskLayout(source.disk_number, layout);
}

ErrorCode ScanParts(const SourceArgument& source, std::vector<MediumPartition>* parts) {
  parts->clear();
  if (source.whole_medium) {
    MediumLayout layout;
    if (ErrorCode rc = ReadSourceLayout(source, &layout); !rc.ok()) return rc;
    *parts = std::move(layout.partitions);
    return err::kSuccess;
  }
  MediumPartition part;
  part.first_sector = source.first_sector;
  part.sector_count = source.sector_count;
  parts->push_back(part);
  return err::kSuccess;
}

}  // namespace vexlo::cli
