#include "cli/scan_command.h"

#include <CLI/CLI.hpp>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/display_format.h"
#include "catalogue/extension_grouping.h"
#include "cli/command_line.h"
#include "cli/json_text.h"
#include "cli/record_selection.h"
#include "cli/scan_session.h"
#include "engine/file_categories.h"

namespace vexlo::cli {
namespace {

struct ScanWords {
  std::string source;
  ScanRequestWords request;
  SelectionWords selection;
  bool json = false;
};

nlohmann::ordered_json JsonTime(uint64_t filetime) {
  if (filetime == 0) return nullptr;
  return catalogue::IsoTimeText(filetime);
}

// One object per file, then one summary object of the scan, so that a
// reader learns from the output alone how much of the medium was read.
void PrintJson(const ScanSession& session, const std::vector<FoundFileRecord>& files) {
  for (const FoundFileRecord& file : files) {
    const ScanSession::Part* part = session.PartOf(file.source_id);
    PrintJsonLine({{"name", std::string(file.Name())},
                   {"path", session.FolderPathOf(file)},
                   {"size", uint64_t{file.size}},
                   {"deleted", file.deleted != 0},
                   {"fs_kind", uint32_t{file.fs_kind}},
                   {"record_number", uint32_t{file.record_number}},
                   {"source_id", unsigned{file.source_id}},
                   {"source", part != nullptr ? part->name : ""},
                   {"entry_sector", uint64_t{file.entry_sector}},
                   {"content_check", uint32_t{file.content_check}},
                   {"created", JsonTime(file.created)},
                   {"modified", JsonTime(file.modified)},
                   {"accessed", JsonTime(file.accessed)}});
  }
  PrintJsonLine(
      {{"summary",
        {{"files", files.size()}, {"unreadable_sectors", session.unreadable_sectors()}}}});
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
        std::string modified = catalogue::IsoTimeText(file->modified);
        if (modified.empty()) modified = "-";
        std::printf("    %s%.*s  %s  %s%s\n", session.FolderPathOf(*file).c_str(),
                    static_cast<int>(file->Name().size()), file->Name().data(),
                    Counted(file->size, "byte").c_str(), modified.c_str(),
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
      std::printf("%s (%s): %s\n", part.name.c_str(), part.description.c_str(),
                  Counted(own.size(), "file").c_str());
      PrintCategories(session, own);
    }
  }
  std::printf("%s found.\n", Counted(files.size(), "file").c_str());
}

int RunScan(const ScanWords& words, ScanHistory& history) {
  ScanRequest request = ReadScanRequest(words.request);
  if (std::string error; !ReadRecordFilter(words.selection, &request.chosen, &error)) {
    return UsageError(error);
  }
  SourceArgument source;
  std::string source_name;
  if (int status = ResolveSource(words.source, &source, &source_name); status != kExitSuccess) {
    return status;
  }
  ScanSession session(history);
  if (int status = session.Run(source, source_name, request); status != kExitSuccess) {
    return status;
  }
  KeepMatchingFiles(session, request.chosen);
  if (words.json) {
    PrintJson(session, session.files());
  } else {
    PrintGrouped(session, session.files());
  }
  return session.failed_parts() == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

Command AddScanCommand(CLI::App& parent, std::function<ScanHistory&()> history) {
  return AddCommand<ScanWords>(
      parent, "scan",
      "Scans SOURCE and lists the files found, by category and "
      "extension. The source is only read.",
      [history = std::move(history)](const ScanWords& words) { return RunScan(words, history()); },
      [](CLI::App& command, ScanWords& words) {
        command.add_option("SOURCE", words.source, kSourceHelp)->required();
        AddScanRequestOptions(command, &words.request);
        AddSelectionOptions(command, &words.selection);
        AddFlag(command, "--json", &words.json,
                "one JSON object per file and line, then one summary object");
      });
}

}  // namespace vexlo::cli
