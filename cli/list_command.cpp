#include "cli/list_command.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_text.h"
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

std::string SizeText(uint64_t bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
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

}  // namespace

int RunListCommand(std::span<const std::string_view> words) {
  static constexpr CommandOption kOptions[] = {{"--json", false}};
  ParsedArguments args;
  std::string error;
  if (!ParseArguments(words, kOptions, &args, &error)) return UsageError("list: " + error);
  if (!args.positionals.empty()) return UsageError("list takes no arguments");

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
