#include "carving/formats/transport_stream.h"

#include <algorithm>
#include <optional>

#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {
namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr std::size_t kConfirmBytes = 4096;
constexpr std::size_t kConfirmPackets = 22;

// Whether a packet starting in the previous sector runs on into this one.
bool ContinuesPreviousSector(CarvingState& state, bool* readable) {
  *readable = true;
  // The first sector of the medium has nothing before it to continue.
  if (state.current_sector == 0) return false;
  uint8_t* const previous = state.probe_buffer.data();
  if (!state.ReadWhole(state.current_sector - 1, 1, previous)) {
    *readable = false;
    return false;
  }
  const std::size_t sector_bytes = state.sector_bytes;
  for (std::size_t j = 1; j <= sector_bytes / kTransportPacketBytes; ++j) {
    if (previous[sector_bytes - kTransportPacketBytes * j] == kSyncByte) return true;
  }
  return false;
}

}  // namespace

int32_t TransportStreamTest(CarvingState& state, const uint8_t* s, std::size_t length) {
  if (length < kTransportPacketBytes || s[0] != kSyncByte ||
      (s[1] == 0 && s[2] == 0 && s[3] == 0)) {
    return code::kNoMatch;
  }
  for (std::size_t offset = 0; offset < length; offset += kTransportPacketBytes) {
    if (s[offset] != kSyncByte) return code::kNoMatch;
  }
  uint8_t* const probe = state.probe_buffer.data();
  if (!state.ReadWhole(state.current_sector, kConfirmBytes / state.sector_bytes, probe))
    return code::kNoMatch;
  for (std::size_t k = 0; k < kConfirmPackets; ++k) {
    if (probe[kTransportPacketBytes * k] != kSyncByte) return code::kNoMatch;
  }
  if (state.stream_continuation) {
    bool readable = true;
    if (ContinuesPreviousSector(state, &readable) || !readable) return code::kNoMatch;
    if (state.FileStartInsideCarvedStream()) return code::kNoMatch;
  }
  return code::kTs;
}

uint64_t TransportStreamLength(CarvingState& state, const uint8_t*, std::size_t) {
  std::optional<uint64_t> candidate;
  bool lost_grid = false;
  const uint64_t reached =
      SearchForward(state, k64GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
        if (lost_grid) return std::nullopt;
        const uint64_t chunk_end = chunk.bytes_before + chunk.size;
        // Packets straddling two reads are skipped, not checked.
        uint64_t packet = (chunk.bytes_before + kTransportPacketBytes - 1) / kTransportPacketBytes *
                          kTransportPacketBytes;
        for (; packet + kTransportPacketBytes <= chunk_end; packet += kTransportPacketBytes) {
          if (chunk.data[packet - chunk.bytes_before] != kSyncByte) {
            candidate = packet;
            lost_grid = true;
            break;
          }
          candidate = packet + kTransportPacketBytes;
        }
        return std::nullopt;
      });
  const uint64_t result = candidate ? std::min(*candidate, reached) : reached;
  const uint64_t sectors =
      std::max<uint64_t>(1, (result + state.sector_bytes - 1) / state.sector_bytes);
  state.transport_stream_ranges.push_back({state.file_start, state.file_start + sectors - 1});
  return result;
}

}  // namespace vexlo::carving
