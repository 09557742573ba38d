// The report of a recovery run: what was selected, where each file went,
// whether it was written whole, the SHA-256 and MD5 of the bytes written,
// the medium's byte runs they were read from, the record's times (the
// creation time too, which Linux cannot give a file), and the run's start,
// end, program version and the sources' fingerprints. People who recover
// for others hand it over with the files; forensic tools read its Digital
// Forensics XML form.
//
// Written as JSON or DFXML (<dfxml> with <creator>, <source> and one
// <fileobject> per file). Names from the medium may hold any bytes: JSON
// takes invalid UTF-8 as U+FFFD, XML also drops the characters XML cannot
// carry, so both always parse. Record times are given as the medium carries
// them (FAT keeps local time without a zone); the run's own times are UTC.
//
// Threading: a value; build it once the run is done.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/recovery_run.h"
#include "platform/error_code.h"
#include "storage/medium_fingerprint.h"

namespace vexlo::catalogue {

enum class ReportFormat { kJson, kDfxml };

// DFXML for a path ending in ".xml" or ".dfxml" (any case), JSON otherwise.
ReportFormat ReportFormatFor(const std::filesystem::path& path);

class RecoveryReport {
 public:
  // The outcomes of a finished `run` into `destination_root`, by `program`
  // ("vexlo-recover 0.1.0").
  RecoveryReport(const RecoveryRun& run, std::filesystem::path destination_root,
                 RecoveryOptions options, std::string program);

  // The medium's fingerprint of a source, when its front end could take one.
  void SetFingerprint(uint16_t source_id, const MediumFingerprint& fingerprint);

  std::string JsonText() const;
  std::string DfxmlText() const;
  // Writes the text of `format` to `path`, replacing a file there.
  ErrorCode Write(const std::filesystem::path& path, ReportFormat format) const;
  ErrorCode WriteJson(const std::filesystem::path& path) const {
    return Write(path, ReportFormat::kJson);
  }
  ErrorCode WriteDfxml(const std::filesystem::path& path) const {
    return Write(path, ReportFormat::kDfxml);
  }

 private:
  struct Source {
    std::string name;
    uint16_t source_id;
    std::optional<MediumFingerprint> fingerprint;
  };
  struct Entry {
    RecoveryOutcome outcome;
    std::string result_text;  // "Success", or why the file failed
  };

  std::filesystem::path root_;
  RecoveryOptions options_;
  std::string program_;
  uint64_t started_;
  uint64_t ended_;
  std::vector<Source> sources_;
  std::vector<Entry> entries_;
};

// `text` made fit for XML character data and attribute values: & < > " '
// escaped, invalid UTF-8 and characters XML 1.0 forbids as U+FFFD.
std::string XmlEscaped(std::string_view text);

}  // namespace vexlo::catalogue
