// The text form of a rescue map beside an image ("card.img.map"), in the
// mapfile format of GNU ddrescue: comment lines starting with "#", a status
// line "current_pos current_status current_pass", then one "pos size status"
// line per block. Numbers are written as 0x-hexadecimal and read as C
// integer constants (decimal, 0x-hexadecimal or 0-octal), as ddrescue does,
// so that `ddrescuelog` reads our maps and a copy can go on from a map that
// ddrescue wrote (and the other way round).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/error_code.h"
#include "storage/rescue_map.h"

namespace vexlo {

// The phase a copy is in. Each phase works on the bytes of one status, and
// the mapfile's status line names it by that status's letter.
enum class RescuePhase : char {
  kCopying = static_cast<char>(BlockStatus::kNonTried),
  kTrimming = static_cast<char>(BlockStatus::kNonTrimmed),
  kScraping = static_cast<char>(BlockStatus::kNonScraped),
  kRetrying = static_cast<char>(BlockStatus::kBadSector),
  kFinished = static_cast<char>(BlockStatus::kFinished),
};

// The status whose bytes `phase` works on.
constexpr BlockStatus PhaseStatus(RescuePhase phase) { return static_cast<BlockStatus>(phase); }

// "copying", "trimming", "scraping", "retrying", "finished".
const char* RescuePhaseName(RescuePhase phase);

// Where a copy stood when its map was written.
struct RescueStatus {
  uint64_t position = 0;  // the byte being tried
  RescuePhase phase = RescuePhase::kCopying;
  uint32_t pass = 1;
};

// The map's name beside an image: "<image>.map".
std::filesystem::path MapfilePath(const std::filesystem::path& image_path);

// The whole text: `comment` (lines without their "# ", may be empty) first,
// then the status line and the blocks.
std::string FormatMapfile(const RescueMap& map, const RescueStatus& status,
                          std::string_view comment);

// Reads a mapfile for a domain of `domain_bytes`. Bytes the file does not
// describe are non-tried. 87 for text that is not a mapfile or describes a
// different size (its blocks must end exactly at `domain_bytes`); then the
// outputs are untouched.
ErrorCode ParseMapfile(std::string_view text, uint64_t domain_bytes, RescueMap* map,
                       RescueStatus* status);

// The same for the map's own domain: up to the end of its last block.
ErrorCode ParseMapfileExtent(std::string_view text, RescueMap* map, RescueStatus* status);

// Reads and parses the file; 2 when it is missing.
ErrorCode LoadMapfile(const std::filesystem::path& path, uint64_t domain_bytes, RescueMap* map,
                      RescueStatus* status);

// Writes the file through a temporary file and a rename.
ErrorCode SaveMapfile(const std::filesystem::path& path, const RescueMap& map,
                      const RescueStatus& status, std::string_view comment);

}  // namespace vexlo
