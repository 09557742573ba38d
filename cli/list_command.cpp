#include "cli/list_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "catalogue/device_names.h"
#include "catalogue/device_refusal.h"
#include "cli/command_line.h"
#include "cli/json_text.h"
#include "cli/source_argument.h"
#include "platform/sector_source.h"
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

std::string DeviceOf(const PartitionRecord& entry) { return catalogue::DeviceNode(entry); }

// Each disk under its name, and below it its entries by the number that
// entry:N selects, as the desktop program lists them: "entry:3!" for one
// the system refused, whose reason follows the list.
void PrintTable(const std::vector<PartitionRecord>& entries) {
  if (entries.empty()) {
    std::puts("No disks found.");
    return;
  }
  std::vector<int32_t> disks;
  for (const PartitionRecord& e : entries) {
    if (std::find(disks.begin(), disks.end(), e.disk_number) == disks.end()) {
      disks.push_back(e.disk_number);
    }
  }
  bool unreadable = false;
  for (const int32_t disk : disks) {
    bool named = false;
    for (const PartitionRecord& e : entries) {
      if (e.disk_number != disk) continue;
      if (!named) {
        std::printf("%s\n",
                    catalogue::DiskName(e.removable ? "Removable disk" : "Disk", e).c_str());
        named = true;
      }
      const std::string entry = "entry:" + std::to_string(e.id) + (e.access_error != 0 ? "!" : "");
      const std::string kind =
          e.kind == EntryKind::kVolume ? "" : std::string("  (") + KindName(e.kind) + ")";
      std::printf("  %-10s %s%s\n", entry.c_str(), catalogue::PartitionDescription(e).c_str(),
                  kind.c_str());
      unreadable = unreadable || e.access_error != 0;
    }
  }
  if (!unreadable) return;
  std::puts("");
  for (const PartitionRecord& e : entries) {
    if (e.access_error == 0) continue;
    const std::string why = e.access_error == err::kAccessDenied
                                ? catalogue::DeviceRefusedText(DeviceOf(e), platform::RunsAsRoot())
                                : "It cannot be read: " + platform::SystemMessage(e.access_error);
    std::printf("! entry:%u (%s): %s\n", e.id, DeviceOf(e).c_str(), why.c_str());
  }
}

// One object per entry and line, then a summary object, as `scan --json`
// prints its files.
void PrintJson(const std::vector<PartitionRecord>& entries) {
  for (const PartitionRecord& e : entries) {
    nlohmann::ordered_json mounts = nlohmann::ordered_json::array();
    for (const std::filesystem::path& mount : e.mount_points) mounts.push_back(mount.string());
    PrintJsonLine({{"id", e.id},
                   {"source", "entry:" + std::to_string(e.id)},
                   {"kind", KindName(e.kind)},
                   {"disk_number", e.disk_number},
                   {"partition_number", e.partition_number},
                   {"partition_type", e.partition_type},
                   {"device", DeviceOf(e)},
                   {"disk", e.disk_path.string()},
                   {"start", e.start},
                   {"length", e.length},
                   {"sector_bytes", e.sector_bytes},
                   {"total_bytes", e.total_bytes},
                   {"used_bytes", e.used_bytes},
                   {"free_bytes", e.free_bytes},
                   {"file_system", e.file_system},
                   {"label", e.label},
                   {"mount_points", std::move(mounts)},
                   {"removable", e.removable},
                   {"access_error", e.access_error.value()}});
  }
  PrintJsonLine({{"summary", {{"entries", entries.size()}}}});
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

// One object per partition, then the medium as the summary.
void PrintLayoutJson(const std::string& name, const MediumLayout& layout) {
  for (const MediumPartition& p : layout.partitions) {
    PrintJsonLine({{"number", p.number},
                   {"source", PartSource(name, p)},
                   {"start", p.first_sector},
                   {"length", p.sector_count},
                   {"mbr_type", p.mbr_type},
                   {"file_system", p.file_system},
                   {"label", p.label}});
  }
  PrintJsonLine({{"summary",
                  {{"source", name},
                   {"sector_bytes", layout.sector_bytes},
                   {"total_sectors", layout.total_sectors},
                   {"table", layout.table_type},
                   {"partitions", layout.partitions.size()}}}});
}

struct ListWords {
  std::string source;  // empty for the disk list
  bool json = false;
};

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

int RunList(const ListWords& words) {
  if (!words.source.empty()) return ListMedium(words.source, words.json);

  DiskEnumerator enumerator;
  if (!enumerator.BuildDiskList()) return Failure("cannot read the disk table", err::kPathNotFound);
  std::vector<PartitionRecord> entries;
  enumerator.CollectEntries(&entries);
  if (words.json) {
    PrintJson(entries);
  } else {
    PrintTable(entries);
  }
  return kExitSuccess;
}

}  // namespace

Command AddListCommand(CLI::App& parent) {
  return AddCommand<ListWords>(
      parent, "list",
      "Without SOURCE, lists the disks, partitions and free areas of this computer; the ENTRY "
      "numbers are what entry:N names. With SOURCE, lists the partitions of an image or disk.",
      &RunList, [](CLI::App& command, ListWords& words) {
        command.add_option("SOURCE", words.source, "an image file or a whole disk");
        AddFlag(command, "--json", &words.json,
                "one JSON object per line, then one summary object");
      });
}

}  // namespace vexlo::cli
