#include "cli/list_command.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_text.h"
#include "cli/source_argument.h"
#include "storage/disk_enumerator.h"

namespace vexlo::cli {
namespace {

const char* KindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::kVolume:
      return "volume";
    case EntryKind::kFreeArea:
      return "free area";
    case EntryKind::kWholeDisk:
      return "whole disk";
  }
  return "";
}

std::string DeviceOf(const PartitionRecord& entry) {
  return (entry.root_path.empty() ? entry.disk_path : entry.root_path).string();
}

void PrintTable(const std::vector<PartitionRecord>& entries) {
  if (entries.empty()) {
    std::puts("No disks found.");
    return;
  }
  std::printf("%-5s %-4s %-10s %-16s %12s %12s %10s %10s %-6s %-12s %-9s %s\n", "ENTRY", "DISK",
              "KIND", "DEVICE", "START", "SECTORS", "SIZE", "FREE", "FS", "LABEL", "REMOVABLE",
              "MOUNTED ON");
  bool unreadable = false;
  for (const PartitionRecord& e : entries) {
    const bool mounted = !e.mount_points.empty();
    std::string mounted_on = mounted ? e.mount_points.front().string() : "";
    if (e.mount_points.size() > 1) {
      mounted_on += " (+" + std::to_string(e.mount_points.size() - 1) + ")";
    }
    const std::string entry_number = std::to_string(e.id) + (e.access_error != 0 ? "!" : "");
    unreadable = unreadable || e.access_error != 0;
    std::printf("%-5s %-4d %-10s %-16s %12llu %12llu %10s %10s %-6s %-12s %-9s %s\n",
                entry_number.c_str(), e.disk_number, KindName(e.kind), DeviceOf(e).c_str(),
                static_cast<unsigned long long>(e.start), static_cast<unsigned long long>(e.length),
                SizeText(e.total_bytes).c_str(),
                e.kind != EntryKind::kVolume || mounted ? SizeText(e.free_bytes).c_str() : "-",
                e.file_system.empty() ? "-" : e.file_system.c_str(), e.label.c_str(),
                e.removable ? "yes" : "no", mounted_on.c_str());
  }
  if (!unreadable) return;
  std::puts("");
  bool denied = false;
  for (const PartitionRecord& e : entries) {
    if (e.access_error == 0) continue;
    denied = denied || e.access_error == err::kAccessDenied;
    std::printf("! entry %u (%s) cannot be read: %s\n", e.id, DeviceOf(e).c_str(),
                platform::SystemMessage(e.access_error).c_str());
  }
  if (denied) {
    std::string advice = DeviceRefusedAdvice();
    advice.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(advice.front())));
    std::printf("  %s\n", advice.c_str());
  }
}

void PrintJson(const std::vector<PartitionRecord>& entries) {
  std::string out = "{\"entries\": [";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PartitionRecord& e = entries[i];
    const auto number = [](uint64_t value) { return std::to_string(value); };
    std::string mounts = "[";
    for (std::size_t m = 0; m < e.mount_points.size(); ++m) {
      mounts += (m ? ", " : "") + JsonString(e.mount_points[m].string());
    }
    mounts += "]";
    out +=
        std::string(i ? "," : "") + "\n  {" + "\"id\": " + number(e.id) +
        ", \"source\": " + JsonString("entry:" + number(e.id)) +
        ", \"kind\": " + JsonString(KindName(e.kind)) +
        ", \"disk_number\": " + std::to_string(e.disk_number) +
        ", \"partition_number\": " + std::to_string(e.partition_number) +
        ", \"partition_type\": " + number(e.partition_type) +
        ", \"device\": " + JsonString(DeviceOf(e)) +
        ", \"disk\": " + JsonString(e.disk_path.string()) + ", \"start\": " + number(e.start) +
        ", \"length\": " + number(e.length) + ", \"sector_bytes\": " + number(e.sector_bytes) +
        ", \"total_bytes\": " + number(e.total_bytes) +
        ", \"used_bytes\": " + number(e.used_bytes) + ", \"free_bytes\": " + number(e.free_bytes) +
        ", \"file_system\": " + JsonString(e.file_system) + ", \"label\": " + JsonString(e.label) +
        ", \"mount_points\": " + mounts + ", \"removable\": " + (e.removable ? "true" : "false") +
        ", \"access_error\": " + std::to_string(e.access_error) + "}";
  }
  out += entries.empty() ? "]}\n" : "\n]}\n";
  std::fputs(out.c_str(), stdout);
}

const char* TableName(const std::string& table_type) {
  if (table_type == "dos") return "an MBR partition table";
  if (table_type == "gpt") return "a GPT partition table";
  if (table_type.empty()) return "no partition table";
  return "a partition table";
}

// The source that selects a partition of `name`.
std::string PartSource(const std::string& name, const MediumPartition& part) {
  return name + ":" + std::to_string(part.number);
}

void PrintLayout(const std::string& name, const MediumLayout& layout) {
  std::printf("%s: %s, %s\n", name.c_str(),
              SizeText(layout.total_sectors * layout.sector_bytes).c_str(),
              TableName(layout.table_type));
  std::printf("%-5s %12s %12s %10s %-6s %-12s %s\n", "PART", "START", "SECTORS", "SIZE", "FS",
              "LABEL", "SOURCE");
  for (const MediumPartition& p : layout.partitions) {
    std::printf("%-5u %12llu %12llu %10s %-6s %-12s %s\n", p.number,
                static_cast<unsigned long long>(p.first_sector),
                static_cast<unsigned long long>(p.sector_count),
                SizeText(p.sector_count * layout.sector_bytes).c_str(),
                p.file_system.empty() ? "-" : p.file_system.c_str(), p.label.c_str(),
                PartSource(name, p).c_str());
  }
  if (!layout.table_type.empty()) {
    std::printf("%s:0 is the whole medium, for a deep scan of all of it.\n", name.c_str());
  }
}

void PrintLayoutJson(const std::string& name, const MediumLayout& layout) {
  const auto number = [](uint64_t value) { return std::to_string(value); };
  std::string out = "{\"source\": " + JsonString(name) +
                    ", \"sector_bytes\": " + number(layout.sector_bytes) +
                    ", \"total_sectors\": " + number(layout.total_sectors) +
                    ", \"table\": " + JsonString(layout.table_type) + ", \"partitions\": [";
  for (std::size_t i = 0; i < layout.partitions.size(); ++i) {
    const MediumPartition& p = layout.partitions[i];
    out += std::string(i ? "," : "") + "\n  {\"number\": " + number(p.number) +
           ", \"source\": " + JsonString(PartSource(name, p)) +
           ", \"start\": " + number(p.first_sector) + ", \"length\": " + number(p.sector_count) +
           ", \"mbr_type\": " + number(p.mbr_type) +
           ", \"file_system\": " + JsonString(p.file_system) +
           ", \"label\": " + JsonString(p.label) + "}";
  }
  out += "\n]}\n";
  std::fputs(out.c_str(), stdout);
}

// `list SOURCE`: the partitions of an image or a whole disk.
int ListMedium(std::string_view text, bool json) {
  SourceArgument source;
  std::string name;
  if (int status = ResolveSource(text, &source, &name); status != kExitSuccess) return status;
  if (!source.whole_medium) {
    return UsageError("list shows the partitions of a whole image or disk; " + name +
                      " is one partition");
  }
  MediumLayout layout;
  if (ErrorCode rc = ReadSourceLayout(source, &layout); !rc.ok()) {
    return SourceFailure(source, name, rc);
  }
  const std::string medium =
      source.kind == SourceArgument::Kind::kDisk ? source.path.string() : name;
  if (json) {
    PrintLayoutJson(medium, layout);
  } else {
    PrintLayout(medium, layout);
  }
  return kExitSuccess;
}

}  // namespace

int RunListCommand(std::span<const std::string_view> words) {
  static constexpr CommandOption kOptions[] = {{"--json", false}};
  ParsedArguments args;
  std::string error;
  if (!ParseArguments(words, kOptions, &args, &error)) return UsageError("list: " + error);
  if (args.positionals.size() > 1) return UsageError("list takes at most one SOURCE");
  if (!args.positionals.empty()) return ListMedium(args.positionals[0], args.Has("--json"));

  DiskEnumerator enumerator;
  if (!enumerator.BuildDiskList()) return Failure("cannot read the disk table", err::kPathNotFound);
  std::vector<PartitionRecord> entries;
  enumerator.CollectEntries(&entries);
  if (args.Has("--json")) {
    PrintJson(entries);
  } else {
    PrintTable(entries);
  }
  return kExitSuccess;
}

}  // namespace vexlo::cli
