// Random sectors to identification and to every length rule.
//
// The input is the medium itself (whole 512-byte sectors; a short tail is
// dropped): every sector is identified as a carving scan would, and every
// row's length rule is also run on the first sector whatever its header
// test says, so that rules meet bytes their test would have refused.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "carving/formats/length_search.h"
#include "carving/formats/signature_table.h"
#include "carving/identification.h"
#include "carving/metadata_sector.h"
#include "platform/sector_source.h"
#include "storage/sector_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  constexpr uint32_t kSector = 512;
  const std::size_t sectors = size / kSector;
  if (sectors == 0 || sectors > 256) return 0;
  std::vector<uint8_t> bytes(data, data + sectors * kSector);
  vexlo::DiskHandle disk;
  if (vexlo::OpenDiskFromSource(std::make_unique<vexlo::platform::MemorySectorSource>(bytes),
                                &disk) != 0)
    return 0;

  static vexlo::carving::CarvingState* state = [] {
    auto* s = new vexlo::carving::CarvingState();
    s->SetMetadataTest(vexlo::carving::MetadataSectorTest);
    return s;
  }();
  state->ResetForScan();
  for (std::size_t s = 0; s < sectors; ++s) {
    vexlo::carving::Identification found;
    (void)vexlo::carving::IdentifyAtSector(*state, kSector, &disk, bytes.data() + s * kSector,
                                           kSector, s, {}, 0, &found);
  }
  for (const vexlo::carving::SignatureEntry& row : vexlo::carving::SignatureTable()) {
    if (row.finder == nullptr) continue;
    vexlo::carving::FileMeasure file(*state, 0);
    (void)row.finder(file, bytes.data(), kSector);
  }
  return 0;
}
