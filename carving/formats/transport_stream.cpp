#include "carving/formats/transport_stream.h"

#include <algorithm>
#include <optional>

#include "carving/formats/length_search.h"
#include "carving/formats/type_codes.h"

namespace vexlo::carving {
namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr std::size_t kConfirmBytes = 4096;

// Where the sync byte of every packet lies: plain transport streams, and
// the 192-byte packets of camera (AVCHD) streams that put a 4-byte arrival
// time stamp before each.
struct PacketGrid {
  std::size_t packet_bytes;
  std::size_t sync_offset;
  int32_t code;
};

constexpr PacketGrid kPlainGrid{kTransportPacketBytes, 0, code::kTs};
constexpr PacketGrid kTimestampedGrid{kTimestampedPacketBytes, 4, code::kMts};
constexpr PacketGrid kServiceLedGrid{kTimestampedPacketBytes, 4, code::kM2ts};

// Whether a packet starting in the previous sector runs on into this one.
bool ContinuesPreviousSector(const HeaderProbe& probe, const PacketGrid& grid, bool* readable) {
  *readable = true;
  // The first sector of the medium has nothing before it to continue.
  if (probe.sector() == 0) return false;
  if (!probe.Read(probe.sector() - 1, 1)) {
    *readable = false;
    return false;
  }
  const uint8_t* const previous = probe.buffer().data();
  const std::size_t sector_bytes = probe.sector_bytes();
  for (std::size_t back = grid.packet_bytes; back <= sector_bytes; back += grid.packet_bytes) {
    if (previous[sector_bytes - back + grid.sync_offset] == kSyncByte) return true;
  }
  return false;
}

int32_t GridTest(const PacketGrid& grid, const HeaderProbe& probe, const uint8_t* s,
                 std::size_t length) {
  const uint8_t* const packet = s + grid.sync_offset;
  if (length < grid.packet_bytes || packet[0] != kSyncByte ||
      (packet[1] == 0 && packet[2] == 0 && packet[3] == 0)) {
    return code::kNoMatch;
  }
  for (std::size_t offset = grid.sync_offset; offset < length; offset += grid.packet_bytes) {
    if (s[offset] != kSyncByte) return code::kNoMatch;
  }
  if (!probe.Read(probe.sector(), kConfirmBytes / probe.sector_bytes())) return code::kNoMatch;
  const uint8_t* const confirm = probe.buffer().data();
  for (std::size_t offset = grid.sync_offset; offset < kConfirmBytes; offset += grid.packet_bytes) {
    if (confirm[offset] != kSyncByte) return code::kNoMatch;
  }
  if (probe.streams().checks_continuation()) {
    bool readable = true;
    if (ContinuesPreviousSector(probe, grid, &readable) || !readable) return code::kNoMatch;
    if (probe.streams().InsideCarvedStream(probe.file_start())) return code::kNoMatch;
  }
  return grid.code;
}

uint64_t FollowGrid(const PacketGrid& grid, FileMeasure& file) {
  std::optional<uint64_t> candidate;
  bool lost_grid = false;
  const std::size_t packet_bytes = grid.packet_bytes;
  const uint64_t reached =
      SearchForward(file, k64GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
        if (lost_grid) return std::nullopt;
        const uint64_t chunk_end = chunk.bytes_before + chunk.size;
        // Packets straddling two reads are skipped, not checked.
        uint64_t packet = (chunk.bytes_before + packet_bytes - 1) / packet_bytes * packet_bytes;
        for (; packet + packet_bytes <= chunk_end; packet += packet_bytes) {
          if (chunk.data[packet - chunk.bytes_before + grid.sync_offset] != kSyncByte) {
            candidate = packet;
            lost_grid = true;
            break;
          }
          candidate = packet + packet_bytes;
        }
        return std::nullopt;
      });
  const uint64_t result = candidate ? std::min(*candidate, reached) : reached;
  file.RecordStream(result);
  return result;
}

}  // namespace

int32_t M2tsTest(const HeaderProbe& probe, const uint8_t* s, std::size_t length) {
  constexpr uint8_t kServiceDescriptionTable = 0x42;
  // The key holds the packet header; the pointer field and the table's id follow.
  if (length < 10 || s[8] != 0 || s[9] != kServiceDescriptionTable) return code::kNoMatch;
  return GridTest(kServiceLedGrid, probe, s, length);
}

int32_t TransportStreamTest(const HeaderProbe& probe, const uint8_t* s, std::size_t length) {
  return GridTest(kPlainGrid, probe, s, length);
}

uint64_t TransportStreamLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return FollowGrid(kPlainGrid, file);
}

uint64_t TimestampedStreamLength(FileMeasure& file, const uint8_t*, std::size_t) {
  return FollowGrid(kTimestampedGrid, file);
}

}  // namespace vexlo::carving
