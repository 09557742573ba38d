#include "storage/mapfile.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"

namespace vexlo {
namespace {

// The words of one line, without its comment ("#" at the start or after
// blank space).
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i == line.size() || line[i] == '#') break;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

// A C integer constant without sign; false for anything else.
bool ParseNumber(std::string_view word, uint64_t* value) {
  if (word.empty() || word[0] < '0' || word[0] > '9') return false;
  const std::string text(word);
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  *value = parsed;
  return true;
}

bool ParseStatusLine(const std::vector<std::string_view>& words, RescueStatus* status) {
  if (words.size() < 2 || words.size() > 3 || words[1].size() != 1) return false;
  uint64_t position = 0;
  uint64_t pass = 1;
  if (!ParseNumber(words[0], &position)) return false;
  if (words.size() == 3 && (!ParseNumber(words[2], &pass) || pass == 0 || pass > UINT32_MAX)) {
    return false;
  }
  const char letter = words[1][0];
  if (IsBlockStatus(letter)) {
    *status = {position, static_cast<RescuePhase>(letter), static_cast<uint32_t>(pass)};
    return true;
  }
  if (letter == 'F' || letter == 'G') {
    // Fill and generate runs of ddrescue say nothing about a copy.
    *status = RescueStatus{};
    return true;
  }
  return false;
}

// The status line and the blocks, which must follow each other without gaps
// or overlaps (the first may start late, in a domain that began further in).
// False for anything else.
bool ParseLines(std::string_view text, RescueStatus* status, std::vector<MapBlock>* blocks) {
  bool have_status = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> words = Words(text.substr(start, end - start));
    start = end + 1;
    if (words.empty()) continue;
    if (!have_status) {
      if (!ParseStatusLine(words, status)) return false;
      have_status = true;
      continue;
    }
    uint64_t position = 0;
    uint64_t size = 0;
    if (words.size() != 3 || words[2].size() != 1 || !IsBlockStatus(words[2][0]) ||
        !ParseNumber(words[0], &position) || !ParseNumber(words[1], &size) || size == 0 ||
        size > UINT64_MAX - position) {
      return false;
    }
    if (!blocks->empty() && position != blocks->back().end) return false;
    blocks->push_back({position, position + size, static_cast<BlockStatus>(words[2][0])});
  }
  return have_status;
}

ErrorCode BuildMap(std::string_view text, std::optional<uint64_t> domain_bytes, RescueMap* map,
                   RescueStatus* status) {
  RescueStatus parsed_status;
  std::vector<MapBlock> blocks;
  if (!ParseLines(text, &parsed_status, &blocks)) return err::kInvalidParameter;
  const uint64_t extent = blocks.empty() ? 0 : blocks.back().end;
  if (domain_bytes && extent != *domain_bytes) return err::kInvalidParameter;
  RescueMap parsed(extent);
  for (const MapBlock& block : blocks) parsed.Set(block.begin, block.end, block.status);
  parsed_status.position = std::min(parsed_status.position, extent);
  *map = std::move(parsed);
  *status = parsed_status;
  return err::kSuccess;
}

}  // namespace

const char* RescuePhaseName(RescuePhase phase) {
  switch (phase) {
    case RescuePhase::kCopying:
      return "copying";
    case RescuePhase::kTrimming:
      return "trimming";
    case RescuePhase::kScraping:
      return "scraping";
    case RescuePhase::kRetrying:
      return "retrying";
    case RescuePhase::kFinished:
      return "finished";
  }
  return "";
}

std::filesystem::path MapfilePath(const std::filesystem::path& image_path) {
  return std::filesystem::path(image_path.string() + ".map");
}

std::string FormatMapfile(const RescueMap& map, const RescueStatus& status,
                          std::string_view comment) {
  std::string text;
  std::size_t start = 0;
  while (start < comment.size()) {
    std::size_t end = comment.find('\n', start);
    if (end == std::string_view::npos) end = comment.size();
    text += "# ";
    text += comment.substr(start, end - start);
    text += '\n';
    start = end + 1;
  }
  char line[160];
  std::snprintf(line, sizeof line,
                "# current_pos  current_status  current_pass\n0x%08" PRIX64
                "     %c               "
                "%" PRIu32 "\n#      pos        size  status\n",
                status.position, static_cast<char>(status.phase), status.pass);
  text += line;
  for (const MapBlock& block : map.Blocks()) {
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", block.begin,
                  block.size(), static_cast<char>(block.status));
    text += line;
  }
  return text;
}

ErrorCode ParseMapfile(std::string_view text, uint64_t domain_bytes, RescueMap* map,
                       RescueStatus* status) {
  return BuildMap(text, domain_bytes, map, status);
}

ErrorCode ParseMapfileExtent(std::string_view text, RescueMap* map, RescueStatus* status) {
  return BuildMap(text, std::nullopt, map, status);
}

ErrorCode LoadMapfile(const std::filesystem::path& path, uint64_t domain_bytes, RescueMap* map,
                      RescueStatus* status) {
  std::string text;
  if (ErrorCode rc = platform::ReadWholeFile(path, &text); !rc.ok()) return rc;
  return ParseMapfile(text, domain_bytes, map, status);
}

ErrorCode SaveMapfile(const std::filesystem::path& path, const RescueMap& map,
                      const RescueStatus& status, std::string_view comment) {
  const std::string text = FormatMapfile(map, status, comment);
  return platform::ReplaceFile(
      path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace vexlo
