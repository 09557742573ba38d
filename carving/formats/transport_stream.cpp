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
bool ContinuesPreviousSector(const HeaderProbe& probe, bool* readable) {
  *readable = true;
  // The first sector of the medium has nothing before it to continue.
  if (probe.sector() == 0) return false;
  if (!probe.Read(probe.sector() - 1, 1)) {
    *readable = false;
    return false;
  }
  const uint8_t* const previous = probe.buffer().data();
  const std::size_t sector_bytes = probe.sector_bytes();
  for (std::size_t j = 1; j <= sector_bytes / kTransportPacketBytes; ++j) {
    if (previous[sector_bytes - kTransportPacketBytes * j] == kSyncByte) return true;
  }
  return false;
}

}  // namespace

int32_t TransportStreamTest(const HeaderProbe& probe, const uint8_t* s, std::size_t length) {
  if (length < kTransportPacketBytes || s[0] != kSyncByte ||
      (s[1] == 0 && s[2] == 0 && s[3] == 0)) {
    return code::kNoMatch;
  }
  for (std::size_t offset = 0; offset < length; offset += kTransportPacketBytes) {
    if (s[offset] != kSyncByte) return code::kNoMatch;
  }
  if (!probe.Read(probe.sector(), kConfirmBytes / probe.sector_bytes())) return code::kNoMatch;
  const uint8_t* const confirm = probe.buffer().data();
  for (std::size_t k = 0; k < kConfirmPackets; ++k) {
    if (confirm[kTransportPacketBytes * k] != kSyncByte) return code::kNoMatch;
  }
  if (probe.streams().checks_continuation()) {
    bool readable = true;
    if (ContinuesPreviousSector(probe, &readable) || !readable) return code::kNoMatch;
    if (probe.streams().InsideCarvedStream(probe.file_start())) return code::kNoMatch;
  }
  return code::kTs;
}

uint64_t TransportStreamLength(FileMeasure& file, const uint8_t*, std::size_t) {
  std::optional<uint64_t> candidate;
  bool lost_grid = false;
  const uint64_t reached =
      SearchForward(file, k64GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
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
  file.RecordStream(result);
  return result;
}

}  // namespace vexlo::carving
