#include "cli/scan_command.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/extension_grouping.h"
#include "cli/command_line.h"
#include "cli/json_text.h"
#include "cli/scan_session.h"
#include "engine/file_categories.h"
#include "platform/filetime.h"

namespace vexlo::cli {
namespace {

constexpr CommandOption kScanOptions[] = {
    kModeOption, kTypesOption, kFreshOption, {"--json", false}};

// "2019-03-04T05:06:08" as the medium keeps it (no time zone is known), or
// empty for a time the medium does not have.
std::string IsoTime(uint64_t filetime) {
  if (filetime == 0) return {};
  const std::tm tm = platform::CalendarFromFiletime(filetime);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string JsonTime(uint64_t filetime) {
  return filetime == 0 ? "null" : "\"" + IsoTime(filetime) + "\"";
}

std::string FolderPath(const ScanSession& session, const FoundFileRecord& record) {
  std::string path;
  IFileRecoveryParse* engine = session.EngineOf(record.source_id);
  if (engine == nullptr || !engine->GetFullPath(record, &path).ok()) path.clear();
  return path;
}

// One object per file, then one summary object of the scan, so that a
// reader learns from the output alone how much of the medium was read.
void PrintJson(const ScanSession& session, const std::vector<FoundFileRecord>& files) {
  for (const FoundFileRecord& file : files) {
    const ScanSession::Part* part = session.PartOf(file.source_id);
    std::printf("{\"name\":%s,\"path\":%s,\"size\":%" PRIu64 ",\"deleted\":%s,\"fs_kind\":%" PRIu32
                ",\"record_number\":%" PRIu32
                ",\"source_id\":%u,\"source\":%s,\"entry_sector\":%" PRIu64
                ",\"content_check\":%" PRIu32 ",\"created\":%s,\"modified\":%s,\"accessed\":%s}\n",
                JsonString(file.Name()).c_str(), JsonString(FolderPath(session, file)).c_str(),
                uint64_t{file.size}, file.deleted != 0 ? "true" : "false", uint32_t{file.fs_kind},
                uint32_t{file.record_number}, unsigned{file.source_id},
                JsonString(part != nullptr ? part->name : "").c_str(), uint64_t{file.entry_sector},
                uint32_t{file.content_check}, JsonTime(file.created).c_str(),
                JsonTime(file.modified).c_str(), JsonTime(file.accessed).c_str());
  }
  std::printf("{\"summary\":{\"files\":%zu,\"unreadable_sectors\":%" PRIu64 "}}\n", files.size(),
              session.unreadable_sectors());
}

// Files by category (in the order of the recovery's folders), then by
// extension key.
using Grouped = std::map<FileCategory, catalogue::RecordsByExtension>;

Grouped GroupFiles(const std::vector<FoundFileRecord>& files) {
  Grouped grouped;
  for (const FoundFileRecord& file : files) {
    grouped[CategoryOf(file.Name())][catalogue::ExtensionKey(file)].push_back(&file);
  }
  return grouped;
}

void PrintCategories(const ScanSession& session, const std::vector<FoundFileRecord>& files) {
  for (const auto& [category, by_extension] : GroupFiles(files)) {
    std::size_t count = 0;
    for (const auto& [key, list] : by_extension) count += list.size();
    std::printf("%.*s (%zu)\n", static_cast<int>(CategoryFolderName(category).size()),
                CategoryFolderName(category).data(), count);
    for (const auto& [key, list] : by_extension) {
      std::printf("  %s (%zu)\n", key.c_str(), list.size());
      for (const FoundFileRecord* file : list) {
        std::string modified = IsoTime(file->modified);
        if (modified.empty()) modified = "-";
        std::printf("    %s%.*s  %" PRIu64 " bytes  %s%s\n", FolderPath(session, *file).c_str(),
                    static_cast<int>(file->Name().size()), file->Name().data(),
                    uint64_t{file->size}, modified.c_str(),
                    file->content_check == 0 ? "  [damaged]" : "");
      }
    }
  }
}

// The files by category; from several partitions, each partition's under
// its name.
void PrintGrouped(const ScanSession& session, const std::vector<FoundFileRecord>& files) {
  if (session.parts().size() == 1) {
    PrintCategories(session, files);
  } else {
    for (const ScanSession::Part& part : session.parts()) {
      std::vector<FoundFileRecord> own;
      for (const FoundFileRecord& file : files) {
        if (file.source_id == part.source_id) own.push_back(file);
      }
      std::printf("%s (%s): %zu files\n", part.name.c_str(), part.description.c_str(), own.size());
      PrintCategories(session, own);
    }
  }
  std::printf("%zu files found.\n", files.size());
}

}  // namespace

int RunScanCommand(std::span<const std::string_view> words, ScanHistory& history) {
  ParsedArguments args;
  std::string error;
  if (!ParseArguments(words, kScanOptions, &args, &error)) return UsageError("scan: " + error);
  if (args.positionals.size() != 1) return UsageError("scan needs one SOURCE");
  ScanArguments scan;
  if (int status = ReadScanArguments("scan", args, &scan); status != kExitSuccess) return status;
  ScanSession session(history);
  if (int status = session.Run(scan.source, scan.source_name, scan.request);
      status != kExitSuccess) {
    return status;
  }
  if (args.Has("--json")) {
    PrintJson(session, session.files());
  } else {
    PrintGrouped(session, session.files());
  }
  return session.failed_parts() == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace vexlo::cli
