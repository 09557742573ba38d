#include "catalogue/recovery_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <span>

#include "catalogue/display_format.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/text.h"

namespace vexlo::catalogue {
namespace {

std::string FingerprintText(const std::optional<MediumFingerprint>& fingerprint) {
  if (!fingerprint) return {};
  std::string text;
  for (const uint8_t byte : fingerprint->bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    text += hex;
  }
  return text;
}

bool IsXmlCharacter(char16_t unit) {
  return unit == u'\t' || unit == u'\n' || unit == u'\r' ||
         (unit >= 0x20 && unit != 0xFFFE && unit != 0xFFFF);
}

// A time for the report: null when the medium gave none.
nlohmann::ordered_json TimeValue(uint64_t filetime) {
  if (filetime == 0) return nullptr;
  return IsoTimeText(filetime, true);
}

ErrorCode WriteText(const std::filesystem::path& path, const std::string& text) {
  return platform::ReplaceFile(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void AppendElement(std::string& xml, std::string_view indent, std::string_view name,
                   std::string_view text) {
  xml.append(indent).append("<").append(name).append(">");
  xml.append(XmlEscaped(text));
  xml.append("</").append(name).append(">\n");
}

// Whether the outcome's hashes tell anything: a file that failed before any
// byte went in has the hashes of nothing.
bool Hashed(const RecoveryOutcome& outcome) {
  return !outcome.written.destination.empty() &&
         (outcome.result == err::kSuccess || outcome.written.bytes_written > 0);
}

}  // namespace

ReportFormat ReportFormatFor(const std::filesystem::path& path) {
  const std::string extension = platform::ToLowerAscii(path.extension().string());
  return extension == ".xml" || extension == ".dfxml" ? ReportFormat::kDfxml : ReportFormat::kJson;
}

std::string XmlEscaped(std::string_view text) {
  std::u16string units = platform::Utf8ToUtf16(text);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low_next = i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (high && low_next) {
      ++i;  // a pair: a character beyond the basic plane, fine in XML
    } else if (!IsXmlCharacter(unit)) {
      units[i] = 0xFFFD;
    }
  }
  std::string escaped;
  for (const char c : platform::Utf16ToUtf8(units)) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

RecoveryReport::RecoveryReport(const RecoveryRun& run, std::filesystem::path destination_root,
                               RecoveryOptions options, std::string program)
    : root_(std::move(destination_root)),
      options_(options),
      program_(std::move(program)),
      started_(run.started()),
      ended_(run.ended()) {
  for (const RecoverySource& source : run.sources()) {
    sources_.push_back({source.name, source.source_id, std::nullopt});
  }
  for (const RecoveryOutcome& outcome : run.outcomes()) {
    entries_.push_back({outcome, RecoveryOutcomeText(outcome.result, outcome.short_copy)});
  }
}

void RecoveryReport::SetFingerprint(uint16_t source_id, const MediumFingerprint& fingerprint) {
  for (Source& source : sources_) {
    if (source.source_id == source_id) source.fingerprint = fingerprint;
  }
}

std::string RecoveryReport::JsonText() const {
  using Json = nlohmann::ordered_json;
  Json report;
  report["program"] = program_;
  report["started"] = IsoTimeText(started_, true) + "Z";
  report["ended"] = IsoTimeText(ended_, true) + "Z";
  report["destination"] = root_.string();
  report["keep_folders"] = options_.keep_folders;
  report["keep_times"] = options_.keep_times;
  Json sources = Json::array();
  for (const Source& source : sources_) {
    const std::string fingerprint = FingerprintText(source.fingerprint);
    sources.push_back({{"name", source.name},
                       {"source_id", source.source_id},
                       {"fingerprint", fingerprint.empty() ? Json() : Json(fingerprint)}});
  }
  report["sources"] = std::move(sources);
  Json files = Json::array();
  for (const Entry& entry : entries_) {
    const RecoveryOutcome& outcome = entry.outcome;
    const FoundFileRecord& record = outcome.record;
    const TracedFile& written = outcome.written;
    Json runs = Json::array();
    for (const ByteRun& run : written.byte_runs) {
      runs.push_back({{"file_offset", run.file_offset},
                      {"img_offset", run.img_offset},
                      {"length", run.length_bytes}});
    }
    const bool hashed = Hashed(outcome);
    files.push_back({
        {"original_path", outcome.original_path},
        {"recovered_path",
         written.destination.empty() ? Json() : Json(written.destination.string())},
        {"size", uint64_t{record.size}},
        {"bytes_written", written.bytes_written},
        {"result", entry.result_text},
        {"error_code", int32_t{outcome.result}},
        {"sha256", hashed ? Json(written.sha256) : Json()},
        {"md5", hashed ? Json(written.md5) : Json()},
        {"source",
         {{"name", outcome.source_name},
          {"source_id", uint16_t{record.source_id}},
          {"record_number", uint32_t{record.record_number}}}},
        {"deleted", record.deleted != 0},
        {"created", TimeValue(record.created)},
        {"modified", TimeValue(record.modified)},
        {"accessed", TimeValue(record.accessed)},
        {"byte_runs", std::move(runs)},
    });
  }
  report["files"] = std::move(files);
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string RecoveryReport::DfxmlText() const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<dfxml version=\"1.0\">\n";
  xml += "  <creator>\n";
  const std::size_t space = program_.rfind(' ');
  AppendElement(xml, "    ", "program", program_.substr(0, space));
  if (space != std::string::npos) AppendElement(xml, "    ", "version", program_.substr(space + 1));
  xml += "    <execution_environment>\n";
  AppendElement(xml, "      ", "start_time", IsoTimeText(started_, true) + "Z");
  AppendElement(xml, "      ", "end_time", IsoTimeText(ended_, true) + "Z");
  xml += "    </execution_environment>\n  </creator>\n";
  for (const Source& source : sources_) {
    xml += "  <source>\n";
    AppendElement(xml, "    ", "image_filename", source.name);
    AppendElement(xml, "    ", "source_id", std::to_string(source.source_id));
    const std::string fingerprint = FingerprintText(source.fingerprint);
    if (!fingerprint.empty()) AppendElement(xml, "    ", "fingerprint", fingerprint);
    xml += "  </source>\n";
  }
  for (const Entry& entry : entries_) {
    const RecoveryOutcome& outcome = entry.outcome;
    const FoundFileRecord& record = outcome.record;
    const TracedFile& written = outcome.written;
    xml += "  <fileobject>\n";
    AppendElement(xml, "    ", "filename", outcome.original_path);
    AppendElement(xml, "    ", "filesize", std::to_string(uint64_t{record.size}));
    AppendElement(xml, "    ", "alloc", record.deleted != 0 ? "0" : "1");
    // Copies first: the record is packed, and its fields bind to no reference.
    const uint64_t created = record.created;
    const uint64_t modified = record.modified;
    const uint64_t accessed = record.accessed;
    const std::pair<const char*, uint64_t> times[] = {
        {"crtime", created}, {"mtime", modified}, {"atime", accessed}};
    for (const auto& [name, filetime] : times) {
      if (filetime != 0) AppendElement(xml, "    ", name, IsoTimeText(filetime, true));
    }
    if (!written.destination.empty()) {
      AppendElement(xml, "    ", "recovered_filename", written.destination.string());
    }
    AppendElement(xml, "    ", "bytes_written", std::to_string(written.bytes_written));
    if (Hashed(outcome)) {
      xml += "    <hashdigest type=\"sha256\">" + written.sha256 + "</hashdigest>\n";
      xml += "    <hashdigest type=\"md5\">" + written.md5 + "</hashdigest>\n";
    }
    AppendElement(xml, "    ", "result", entry.result_text);
    xml += "    <source_id>" + std::to_string(uint16_t{record.source_id}) + "</source_id>\n";
    xml += "    <record_number>" + std::to_string(uint32_t{record.record_number}) +
           "</record_number>\n";
    if (!written.byte_runs.empty()) {
      xml += "    <byte_runs>\n";
      for (const ByteRun& run : written.byte_runs) {
        xml += "      <byte_run file_offset=\"" + std::to_string(run.file_offset) +
               "\" img_offset=\"" + std::to_string(run.img_offset) + "\" len=\"" +
               std::to_string(run.length_bytes) + "\"/>\n";
      }
      xml += "    </byte_runs>\n";
    }
    xml += "  </fileobject>\n";
  }
  xml += "</dfxml>\n";
  return xml;
}

ErrorCode RecoveryReport::Write(const std::filesystem::path& path, ReportFormat format) const {
  return WriteText(path, format == ReportFormat::kDfxml ? DfxmlText() : JsonText());
}

}  // namespace vexlo::catalogue
