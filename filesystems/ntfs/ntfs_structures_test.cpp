// The pure NTFS structure code on hand-made bytes: boot sector, fix-up,
// attribute walk, data runs, attribute lists, names; and damaged records,
// which must be refused without reading outside them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "filesystems/ntfs/attribute_list.h"
#include "filesystems/ntfs/boot_sector.h"
#include "filesystems/ntfs/file_record.h"
#include "ondisk/endian.h"
#include "ondisk/ntfs_data_runs.h"

namespace vexlo::ntfs {
namespace {

// A 1,024-byte record with a header and the given attributes, protected by
// the update sequence as NTFS writes it.
class RecordBuilder {
 public:
  RecordBuilder() : bytes_(1024, 0) {
    std::memcpy(bytes_.data(), "FILE", 4);
    StoreLe16(bytes_, 4, 48);  // update sequence array
    StoreLe16(bytes_, 6, 3);
    StoreLe16(bytes_, 20, 56);  // first attribute
    StoreLe32(bytes_, 28, 1024);
    StoreLe32(bytes_, 44, 77);
  }
  RecordBuilder& Resident(uint32_t type, const std::vector<uint8_t>& value,
                          uint8_t name_length = 0) {
    const uint32_t length = (24 + static_cast<uint32_t>(value.size()) + 7) & ~7u;
    StoreLe32(bytes_, end_, type);
    StoreLe32(bytes_, end_ + 4, length);
    bytes_[end_ + 9] = name_length;
    StoreLe32(bytes_, end_ + 16, static_cast<uint32_t>(value.size()));
    StoreLe16(bytes_, end_ + 20, 24);
    std::copy(value.begin(), value.end(), bytes_.begin() + end_ + 24);
    end_ += length;
    return *this;
  }
  RecordBuilder& NonResident(uint32_t type, const std::vector<uint8_t>& runs, uint64_t size,
                             uint64_t lowest_vcn = 0) {
    const uint32_t length = (64 + static_cast<uint32_t>(runs.size()) + 7) & ~7u;
    StoreLe32(bytes_, end_, type);
    StoreLe32(bytes_, end_ + 4, length);
    bytes_[end_ + 8] = 1;
    StoreLe64(bytes_, end_ + 16, lowest_vcn);
    StoreLe16(bytes_, end_ + 32, 64);
    StoreLe64(bytes_, end_ + 48, size);
    std::copy(runs.begin(), runs.end(), bytes_.begin() + end_ + 64);
    end_ += length;
    return *this;
  }
  // Finishes with the end marker, then swaps the sector tails for the
  // sequence number.
  std::vector<uint8_t> Build(uint16_t usn = 0x0A0B) {
    StoreLe32(bytes_, end_, kAttrEnd);
    StoreLe32(bytes_, 24, end_ + 8);
    std::vector<uint8_t> out = bytes_;
    StoreLe16(out, 48, usn);
    for (int i = 0; i < 2; ++i) {
      std::memcpy(&out[50 + 2 * i], &out[(i + 1) * 512 - 2], 2);
      StoreLe16(out, (i + 1) * 512 - 2, usn);
    }
    return out;
  }
  std::vector<uint8_t>& raw() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t end_ = 56;
};

std::vector<uint8_t> FileNameValue(const std::u16string& name, uint8_t name_space,
                                   uint64_t parent = 5) {
  std::vector<uint8_t> v(66 + 2 * name.size(), 0);
  StoreLe64(v, 0, parent | (uint64_t{3} << 48));
  StoreLe64(v, 8, 111);
  StoreLe64(v, 16, 222);
  StoreLe64(v, 32, 333);
  v[64] = static_cast<uint8_t>(name.size());
  v[65] = name_space;
  for (std::size_t i = 0; i < name.size(); ++i) StoreLe16(v, 66 + 2 * i, name[i]);
  return v;
}

TEST(NtfsBootSector, Geometry) {
  struct Case {
    uint16_t bytes_per_sector;
    uint8_t sectors_per_cluster;
    uint8_t record_field;
    bool ok;
    uint32_t sector, cluster, record;
  };
  const Case cases[] = {
      {512, 8, 0xF6, true, 512, 4096, 1024},        // the usual
      {0, 8, 0xF6, true, 512, 4096, 1024},          // 0 taken as 512
      {4096, 1, 0xF4, true, 4096, 4096, 4096},      // 4K sectors, 4K records
      {512, 0xF4, 0xF6, true, 512, 2 << 20, 1024},  // 2 MiB clusters
      {512, 2, 2, true, 512, 1024, 2048},           // records counted in clusters
      {512, 8, 0x00, true, 512, 4096, 1024},        // no record size: 2 sectors
      {4096, 1, 0x00, true, 4096, 4096, 4096},      // ... or one sector
      {1000, 8, 0xF6, false, 0, 0, 0},              // not a power of two
      {512, 0, 0xF6, false, 0, 0, 0},               // no clusters
      {512, 0xF0, 0xF6, false, 0, 0, 0},            // 32 MiB clusters
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> boot(512, 0);
    StoreLe16(boot, 11, c.bytes_per_sector);
    boot[13] = c.sectors_per_cluster;
    StoreLe64(boot, 48, 4);
    boot[64] = c.record_field;
    NtfsGeometry g;
    ASSERT_EQ(ParseBootSector(boot, &g), c.ok)
        << c.bytes_per_sector << "/" << int(c.sectors_per_cluster);
    if (!c.ok) continue;
    EXPECT_EQ(g.sector_bytes, c.sector);
    EXPECT_EQ(g.cluster_bytes, c.cluster);
    EXPECT_EQ(g.record_bytes, c.record);
    EXPECT_EQ(g.mft_first_cluster, 4u);
  }
}

TEST(NtfsRecord, FixupRestoresSectorTailsAndRefusesBadArrays) {
  RecordBuilder builder;
  builder.raw()[511] = 0x5A;
  builder.raw()[1023] = 0xA5;
  std::vector<uint8_t> record = builder.Build();
  ASSERT_TRUE(ApplyFixup(record));
  EXPECT_EQ(record[511], 0x5A);
  EXPECT_EQ(record[1023], 0xA5);

  for (auto damage : {+[](std::vector<uint8_t>& r) { StoreLe16(r, 6, 9); },
                      +[](std::vector<uint8_t>& r) { StoreLe16(r, 4, 600); },
                      +[](std::vector<uint8_t>& r) { StoreLe16(r, 4, 49); }}) {
    std::vector<uint8_t> bad = builder.Build();
    damage(bad);
    const std::vector<uint8_t> before = bad;
    EXPECT_FALSE(ApplyFixup(bad));
    EXPECT_EQ(bad, before);
  }
}

TEST(NtfsRecord, SummaryPrefersTheLongNameAndStandardTimes) {
  std::vector<uint8_t> si(48, 0);
  StoreLe64(si, 0, 1000);
  StoreLe64(si, 8, 2000);
  StoreLe64(si, 24, 3000);
  std::vector<uint8_t> record =
      RecordBuilder()
          .Resident(kAttrStandardInformation, si)
          .Resident(kAttrFileName, FileNameValue(u"LONGFI~1.TXT", 2, 40))
          .Resident(kAttrFileName, FileNameValue(u"Long file name.txt", 1, 41))
          .Resident(kAttrData, {'a', 'b', 'c'}, /*name_length=*/1)
          .Resident(kAttrData, {'h', 'e', 'l', 'l', 'o'})
          .Build();
  ASSERT_TRUE(ApplyFixup(record));
  FileRecordSummary s;
  ASSERT_TRUE(SummarizeFileRecord(record, &s));
  EXPECT_EQ(FileNameUtf8(s.name), "Long file name.txt");
  EXPECT_EQ(s.parent_record, 40u);  // the first name decides the folder
  EXPECT_EQ(s.standard_times.modified, 2000u);
  EXPECT_TRUE(s.data_resident);  // the named stream is passed over
  EXPECT_EQ(DataSize(s), 5u);
  EXPECT_TRUE(s.header.has_number);
  EXPECT_EQ(s.header.number, 77u);

  struct NameCase {
    uint8_t first, second;
    bool second_wins;
  };
  for (NameCase c : {NameCase{2, 1, true}, NameCase{2, 0, true}, NameCase{0, 2, false},
                     NameCase{3, 2, false}, NameCase{0, 1, true}}) {
    EXPECT_EQ(PrefersName(c.first, c.second), c.second_wins) << int(c.first) << int(c.second);
  }
}

TEST(NtfsRecord, LongRunListIsReadToTheEndOfItsAttribute) {
  std::vector<uint8_t> runs;
  for (int i = 0; i < 200; ++i) runs.insert(runs.end(), {0x11, 0x01, 0x02});
  runs.push_back(0);
  std::vector<uint8_t> record = RecordBuilder()
                                    .Resident(kAttrFileName, FileNameValue(u"frag.bin", 1))
                                    .NonResident(kAttrData, runs, 200 * 4096)
                                    .Build();
  ASSERT_TRUE(ApplyFixup(record));
  FileRecordSummary s;
  ASSERT_TRUE(SummarizeFileRecord(record, &s));
  ASSERT_TRUE(s.has_data);
  std::vector<DataRun> decoded;
  ASSERT_EQ(DecodeDataRuns(s.data.run_bytes, &decoded), RunListStatus::kComplete);
  EXPECT_EQ(decoded.size(), 200u);
  EXPECT_EQ(decoded.back().first_cluster, 400u);
}

TEST(NtfsRecord, DamagedHeadersAndAttributesStopTheWalk) {
  const std::vector<uint8_t> good =
      RecordBuilder().Resident(kAttrFileName, FileNameValue(u"a.txt", 1)).Build();
  struct Damage {
    const char* what;
    std::size_t at;
    std::size_t width;  // bytes written
    uint32_t value;
    bool header_ok;
    bool has_name;
  };
  const Damage cases[] = {
      {"first attribute beyond the record", 20, 2, 2000, false, false},
      {"bytes in use beyond the record", 24, 4, 5000, false, false},
      {"attribute length 0", 56 + 4, 2, 0, true, false},
      {"attribute length beyond bytes in use", 56 + 4, 2, 900, true, false},
      // The length field has four bytes; its low two alone look plausible.
      {"attribute length above 64 KiB", 56 + 4, 4, 0x10000 + 104, true, false},
      {"value offset beyond the attribute", 56 + 20, 2, 0xFFFF, true, false},
      {"value length beyond the attribute", 56 + 16, 4, 0x10000, true, false},
      {"name length beyond the value", 56 + 24 + 64, 1, 200, true, false},
      {"type 0", 56, 4, 0, true, false},
  };
  for (const Damage& d : cases) {
    std::vector<uint8_t> record = good;
    ASSERT_TRUE(ApplyFixup(record));
    ASSERT_EQ(LoadLe32(record, 56 + 4), 104u) << "the file name attribute's length";
    if (d.width == 1) {
      record[d.at] = static_cast<uint8_t>(d.value);
    } else if (d.width == 2) {
      StoreLe16(record, d.at, static_cast<uint16_t>(d.value));
    } else {
      StoreLe32(record, d.at, d.value);
    }
    FileRecordSummary s;
    EXPECT_EQ(SummarizeFileRecord(record, &s), d.header_ok) << d.what;
    EXPECT_EQ(s.has_name, d.has_name) << d.what;
  }
}

TEST(NtfsAttributeList, EntriesAndStopRules) {
  std::vector<uint8_t> list(3 * 32, 0);
  for (int i = 0; i < 3; ++i) {
    StoreLe32(list, 32 * i, i == 2 ? 0 : kAttrData);
    StoreLe16(list, 32 * i + 4, 32);
    StoreLe64(list, 32 * i + 8, i * 100);
    StoreLe64(list, 32 * i + 16, (70 + i) | (uint64_t{9} << 48));
  }
  AttributeListReader reader(list);
  AttributeListEntry entry;
  ASSERT_TRUE(reader.Next(&entry));
  EXPECT_EQ(entry.record, 70u);
  ASSERT_TRUE(reader.Next(&entry));
  EXPECT_EQ(entry.lowest_vcn, 100u);
  EXPECT_FALSE(reader.Next(&entry));  // type 0 ends the list

  StoreLe16(list, 4, 0);  // a zero length must not loop
  AttributeListReader stuck(list);
  EXPECT_FALSE(stuck.Next(&entry));
}

TEST(NtfsRecord, RandomBytesNeverEscapeTheRecord) {
  // Mutated records: whatever comes out must refer into the record.
  std::mt19937 random(12345);
  const std::vector<uint8_t> base =
      RecordBuilder()
          .Resident(kAttrFileName, FileNameValue(u"x.jpg", 1))
          .NonResident(kAttrData, {0x21, 0x10, 0x00, 0x01, 0x00}, 65536)
          .Build();
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> record = base;
    const int flips = 1 + round % 8;
    for (int i = 0; i < flips; ++i) record[random() % 200] = static_cast<uint8_t>(random());
    (void)ApplyFixup(record);
    FileRecordSummary s;
    if (!SummarizeFileRecord(record, &s)) continue;
    auto inside = [&](std::span<const uint8_t> part) {
      return part.empty() || (part.data() >= record.data() &&
                              part.data() + part.size() <= record.data() + record.size());
    };
    ASSERT_TRUE(inside(s.name.name_utf16));
    ASSERT_TRUE(inside(s.resident_data));
    ASSERT_TRUE(inside(s.data.run_bytes));
    std::vector<DataRun> runs;
    (void)DecodeDataRuns(s.data.run_bytes, &runs);
  }
}

}  // namespace
}  // namespace vexlo::ntfs
