// The FILE-record sector test on sectors built here: each field it checks,
// broken alone, must turn it down.
#include "ondisk/ntfs_file_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ondisk/endian.h"

namespace vexlo::ntfs {
namespace {

// The first sector of a record as NTFS 3.1 writes it: 400 bytes in use of
// a record of two 512-byte sectors (one sector from 1,024 bytes on), update
// sequence number 7 in the header and in the sector's last two bytes.
std::vector<uint8_t> RecordSector(uint32_t sector_bytes) {
  std::vector<uint8_t> sector(sector_bytes, 0);
  std::memcpy(sector.data(), "FILE", 4);
  StoreLe32(sector, 24, 400);
  StoreLe32(sector, 28, sector_bytes > 512 ? sector_bytes : 2 * sector_bytes);
  StoreLe16(sector, 48, 7);
  StoreLe16(sector, sector_bytes - 2, 7);
  return sector;
}

TEST(NtfsFileRecordSector, EachCheckedFieldDecides) {
  struct Case {
    const char* what;
    uint32_t sector_bytes;
    std::function<void(std::vector<uint8_t>&)> change;
    bool record;
  };
  const Case cases[] = {
      {"as written", 512, [](auto&) {}, true},
      {"4 KiB sectors hold a whole record", 4096, [](auto&) {}, true},
      {"no signature", 512, [](auto& s) { s[3] = 'X'; }, false},
      {"more bytes in use than the record", 512, [](auto& s) { StoreLe32(s, 24, 1025); }, false},
      {"bytes in use fill the record", 512, [](auto& s) { StoreLe32(s, 24, 1024); }, true},
      {"allocated size of another record size", 512, [](auto& s) { StoreLe32(s, 28, 4096); },
       false},
      {"torn: the sector tail lost its sequence number", 512, [](auto& s) { StoreLe16(s, 510, 8); },
       false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> sector = RecordSector(c.sector_bytes);
    c.change(sector);
    EXPECT_EQ(IsFileRecordSector(sector, c.sector_bytes), c.record) << c.what;
  }
}

TEST(NtfsFileRecordSector, ShortBuffersAndTinySectorsNeverMatch) {
  const std::vector<uint8_t> sector = RecordSector(512);
  EXPECT_FALSE(IsFileRecordSector(std::span(sector).first(511), 512));
  EXPECT_FALSE(IsFileRecordSector(std::span(sector).first(32), 32));
  EXPECT_FALSE(IsDirectoryRecord(std::span(sector).first(23)));
}

TEST(NtfsFileRecordSector, DirectoryFlag) {
  std::vector<uint8_t> sector = RecordSector(512);
  EXPECT_FALSE(IsDirectoryRecord(sector));
  StoreLe16(sector, 22, kRecordInUse | kRecordDirectory);
  EXPECT_TRUE(IsDirectoryRecord(sector));
}

}  // namespace
}  // namespace vexlo::ntfs
