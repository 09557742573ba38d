#include "carving/formats/transport_stream.h"

#include <algorithm>
#include <optional>
#include <utility>

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

constexpr int kProgramTablePid = 0x0000;
constexpr int kServiceTablePid = 0x0011;

int PacketId(const uint8_t* packet) { return (packet[1] & 0x1F) << 8 | packet[2]; }

// Whether `packet` (from its sync byte) starts a program or service table.
bool StartsTable(const uint8_t* packet) {
  const int pid = PacketId(packet);
  return (packet[1] & 0x40) != 0 && (pid == kProgramTablePid || pid == kServiceTablePid);
}

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
    // A stream that runs on from the previous sector is the one carved there,
    // unless that one was ended here by this sector's table.
    const bool continues = ContinuesPreviousSector(probe, grid, &readable);
    if (!readable) return code::kNoMatch;
    if (continues &&
        !(StartsTable(packet) && probe.streams().CarvedStreamEndsBefore(probe.file_start()))) {
      return code::kNoMatch;
    }
    if (probe.streams().InsideCarvedStream(probe.file_start())) return code::kNoMatch;
  }
  return grid.code;
}

// A stream repeats its program table (and a muxer's service table) all
// along, each packet's continuity count one past the last or repeated. The
// next recording on a camera card continues the packet grid without a gap,
// since cameras write whole sectors of packets (AVCHD writes units of 32);
// what tells it is a table packet at a sector start whose count does not
// follow the stream's.
class TableCounts {
 public:
  // Notes the count of `packet` (from its sync byte); whether it starts
  // another stream.
  bool StartsAnotherStream(const uint8_t* packet, bool at_sector_start) {
    const int pid = PacketId(packet);
    const int table = pid == kProgramTablePid ? 0 : pid == kServiceTablePid ? 1 : -1;
    // Packets without payload do not step the count.
    if (table < 0 || (packet[3] & 0x10) == 0) return false;
    const int count = packet[3] & 0x0F;
    const int last = std::exchange(last_[table], count);
    if (!at_sector_start || !StartsTable(packet) || last < 0) return false;
    return count != last && count != (last + 1) % 16;
  }

  // After a packet that was not looked at, no count can be judged.
  void Forget() { last_[0] = last_[1] = -1; }

 private:
  int last_[2] = {-1, -1};
};

uint64_t FollowGrid(const PacketGrid& grid, FileMeasure& file) {
  std::optional<uint64_t> candidate;
  bool ended = false;
  TableCounts tables;
  const std::size_t packet_bytes = grid.packet_bytes;
  const uint32_t sector_bytes = file.sector_bytes();
  const uint64_t reached =
      SearchForward(file, k64GiB, [&](const Chunk& chunk) -> std::optional<uint64_t> {
        if (ended) return std::nullopt;
        const uint64_t chunk_end = chunk.bytes_before + chunk.size;
        // Packets straddling two reads are skipped, not checked.
        uint64_t packet = (chunk.bytes_before + packet_bytes - 1) / packet_bytes * packet_bytes;
        if (packet != chunk.bytes_before) tables.Forget();
        for (; packet + packet_bytes <= chunk_end; packet += packet_bytes) {
          const uint8_t* const sync = chunk.data + (packet - chunk.bytes_before) + grid.sync_offset;
          if (*sync != kSyncByte || tables.StartsAnotherStream(sync, packet % sector_bytes == 0)) {
            candidate = packet;
            ended = true;
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
