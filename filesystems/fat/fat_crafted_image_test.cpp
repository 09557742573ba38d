// The engine on volumes whose directories the test writes byte by byte:
// what mtools cannot make, and damage a scan must survive.
#include <gtest/gtest.h>

#include <map>

#include "engine/scan_history.h"
#include "filesystems/fat/fast_fat_recovery.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::LongNameEntries;
using testing::RawDirEntry;
using testing::ShortEntry;

constexpr uint8_t kDir = 0x10;
constexpr uint8_t kFile = 0x20;

RawDirEntry Deleted(RawDirEntry e) {
  e[0] = 0xE5;
  return e;
}

class FatCraftedTest : public ::testing::Test {
 protected:
  void Format(int fat_bits, uint64_t size_kib) {
    image_ = temp_ / "crafted.img";
    ASSERT_EQ(testing::MakeFatImage(image_, {fat_bits, size_kib, 1}), "");
    layout_ = testing::ReadFatLayout(image_);
  }
  uint64_t RootOffset() const {
    return layout_.fat32 ? layout_.ClusterOffset(layout_.root_cluster) : layout_.root_offset;
  }
  void PutEntries(uint64_t offset, const std::vector<RawDirEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      testing::WriteFileBytes(image_, offset + i * 32, entries[i]);
    }
  }
  // Writes a FAT entry into every FAT copy.
  void SetFat(uint32_t cluster, uint32_t value) {
    const uint32_t width = layout_.fat32 ? 4 : 2;
    std::vector<uint8_t> bytes(width);
    for (uint32_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    for (uint32_t fat = 0; fat < layout_.fat_count; ++fat) {
      const uint64_t start =
          (uint64_t{layout_.reserved_sectors} + uint64_t{fat} * layout_.sectors_per_fat) *
          layout_.bytes_per_sector;
      testing::WriteFileBytes(image_, start + uint64_t{cluster} * width, bytes);
    }
  }
  // A directory cluster that starts with "." and "..".
  std::vector<RawDirEntry> DirStart(uint32_t own, uint32_t parent) {
    return {ShortEntry(".          ", kDir, own, 0), ShortEntry("..         ", kDir, parent, 0)};
  }
  std::map<std::string, FoundFileRecord> Scan() {
    CFastFatRecovery& engine = Open();
    EXPECT_EQ(engine.Scan(nullptr), 0);
    std::map<std::string, FoundFileRecord> all;
    std::vector<std::pair<FoundFileRecord, std::pair<std::string, uint32_t>>> queue;
    std::vector<FoundFileRecord> children;
    EXPECT_EQ(engine.ListFolder(nullptr, 0, &children), 0);
    std::string prefix;
    uint32_t level = 0;
    for (std::size_t i = 0;; ++i) {
      for (const FoundFileRecord& child : children) {
        all[prefix + std::string(child.Name())] = child;
        if (child.is_folder)
          queue.push_back({child, {prefix + child.Name().data() + "/", level + 1}});
      }
      if (i >= queue.size()) break;
      children.clear();
      prefix = queue[i].second.first;
      level = queue[i].second.second;
      EXPECT_EQ(engine.ListFolder(&queue[i].first, level, &children), 0);
    }
    return all;
  }
  CFastFatRecovery& Open() {
    engine_ = std::make_unique<CFastFatRecovery>(history_);
    EXPECT_EQ(engine_->OpenImage(image_, 0x8001), 0);
    return *engine_;
  }
  std::string Recover(const FoundFileRecord& record, ErrorCode* rc) {
    const std::filesystem::path out = temp_ / "out.bin";
    std::filesystem::remove(out);
    *rc = engine_->RecoverFile(record, out, 0);
    return testing::Sha256OfFile(out);
  }

  testing::TempDir temp_;
  ScanHistory history_{temp_ / "ScanLog"};
  std::filesystem::path image_;
  testing::FatLayout layout_;
  std::unique_ptr<CFastFatRecovery> engine_;
};

TEST_F(FatCraftedTest, Fat32DeletedFolderWhoseHighWordWasCleared) {
  Format(32, 65536);  // 512-byte clusters: cluster 0x10005 lies at 32 MiB
  const uint32_t folder = 0x10005;
  PutEntries(RootOffset(), {Deleted(ShortEntry("XLBUM      ", kDir, folder & 0xFFFF, 0))});
  std::vector<RawDirEntry> inside = DirStart(folder, 0);
  inside.push_back(ShortEntry("PHOTO   DAT", kFile, 0x10010, 700));
  PutEntries(layout_.ClusterOffset(folder), inside);
  const auto data = testing::PatternBytes(700, 9);
  testing::WriteFileBytes(image_, layout_.ClusterOffset(0x10010), data);

  const auto all = Scan();
  ASSERT_TRUE(all.contains("!lbum/photo.dat"));
  EXPECT_EQ(uint32_t{all.at("!lbum").key}, folder);
  ErrorCode rc = 0;
  EXPECT_EQ(Recover(all.at("!lbum/photo.dat"), &rc), testing::Sha256OfBytes(data));
  EXPECT_EQ(rc, 0);
}

TEST_F(FatCraftedTest, LongNamesAcrossClustersAndAtTheirLongest) {
  Format(16, 16384);
  // Folder SPLIT at clusters 3 -> 4: a long name whose last part ends
  // cluster 3 and whose first part and short entry open cluster 4.
  PutEntries(layout_.root_offset, {ShortEntry("SPLIT      ", kDir, 3, 0)});
  SetFat(3, 4);
  SetFat(4, 0xFFFF);
  std::vector<RawDirEntry> first = DirStart(3, 0);
  while (first.size() < 15) first.push_back(Deleted(ShortEntry("FILLER  DAT", kFile, 0, 0)));
  std::vector<RawDirEntry> split = LongNameEntries(u"split across two clusters.txt", "SPLITA~1TXT");
  ASSERT_EQ(split.size(), 3u);
  split.push_back(ShortEntry("SPLITA~1TXT", kFile, 20, 10));
  testing::MarkDeleted(split);
  first.push_back(split[0]);
  PutEntries(layout_.ClusterOffset(3), first);

  std::vector<RawDirEntry> second(split.begin() + 1, split.end());
  // Twenty parts: the longest legal name, deleted.
  const std::u16string longest(255, u'n');
  std::vector<RawDirEntry> twenty = LongNameEntries(longest, "NNNNNN~1DAT");
  ASSERT_EQ(twenty.size(), 20u);
  twenty.push_back(ShortEntry("NNNNNN~1DAT", kFile, 21, 10));
  testing::MarkDeleted(twenty);
  second.insert(second.end(), twenty.begin(), twenty.end());
  PutEntries(layout_.ClusterOffset(4), second);
  // The directory continues past the 512-byte cluster 4 into 5, and a
  // 21-part name there ends the directory: what follows is not believed.
  SetFat(4, 5);
  SetFat(5, 0xFFFF);
  std::vector<RawDirEntry> third = LongNameEntries(longest, "MMMMMM~1DAT");
  third.insert(third.begin(), third.front());
  third.push_back(ShortEntry("MMMMMM~1DAT", kFile, 22, 10));
  third.push_back(ShortEntry("AFTER   DAT", kFile, 23, 10));
  testing::MarkDeleted(third);
  // Cluster 4 holds 16 entries; the rest of `second` spills into cluster 5.
  std::vector<RawDirEntry> spill(second.begin() + 16, second.end());
  spill.insert(spill.end(), third.begin(), third.end());
  PutEntries(layout_.ClusterOffset(5), spill);

  const auto all = Scan();
  EXPECT_TRUE(all.contains("split/split across two clusters.txt"));
  EXPECT_TRUE(all.contains("split/" + std::string(255, 'n')));
  EXPECT_FALSE(all.contains("split/" + std::string(255, 'm')));
  EXPECT_FALSE(all.contains("split/!fter.dat"));
}

TEST_F(FatCraftedTest, FolderWhoseFirstClusterWasReusedIsNotBelieved) {
  Format(16, 16384);
  PutEntries(layout_.root_offset, {Deleted(ShortEntry("XEUSED     ", kDir, 7, 0)),
                                   Deleted(ShortEntry("XINE       ", kDir, 8, 0))});
  // Cluster 7 now holds a file's bytes, which happen to contain a plausible
  // deleted entry; cluster 8 is still the folder.
  std::vector<RawDirEntry> reused = {ShortEntry("DATA    BIN", kFile, 0, 0)};
  reused.push_back(Deleted(ShortEntry("GHOST   DAT", kFile, 30, 10)));
  PutEntries(layout_.ClusterOffset(7), reused);
  std::vector<RawDirEntry> fine = DirStart(8, 0);
  fine.push_back(Deleted(ShortEntry("XEAL    DAT", kFile, 31, 10)));
  PutEntries(layout_.ClusterOffset(8), fine);

  const auto all = Scan();
  EXPECT_FALSE(all.contains("!eused"));
  EXPECT_FALSE(all.contains("!eused/!host.dat"));
  EXPECT_TRUE(all.contains("!ine/!eal.dat"));
}

TEST_F(FatCraftedTest, DamageEndsQuietlyAndBounded) {
  Format(16, 16384);
  PutEntries(layout_.root_offset, {ShortEntry("LOOP       ", kDir, 3, 0),
                                   // Size beyond the volume, its chain running through free space.
                                   Deleted(ShortEntry("XUGE    DAT", kFile, 100, 0xFFFFFFF0)),
                                   // A file chain that loops: 200 -> 201 -> 200.
                                   Deleted(ShortEntry("XYCLE   DAT", kFile, 200, 50000))});
  // A directory chain that cycles: 3 -> 4 -> 3.
  SetFat(3, 4);
  SetFat(4, 3);
  SetFat(200, 201);
  SetFat(201, 200);
  std::vector<RawDirEntry> loop = DirStart(3, 0);
  loop.push_back(Deleted(ShortEntry("XNSIDE  DAT", kFile, 40, 10)));
  // System-only entries: neither file nor folder, skipped, but no end mark.
  while (loop.size() < 16) loop.push_back(ShortEntry("FILLER  SYS", 0x04, 0, 0));
  PutEntries(layout_.ClusterOffset(3), loop);
  PutEntries(layout_.ClusterOffset(4), {Deleted(ShortEntry("XECOND  DAT", kFile, 41, 10))});

  const auto all = Scan();
  EXPECT_TRUE(all.contains("loop/!nside.dat"));
  EXPECT_TRUE(all.contains("loop/!econd.dat"));
  ASSERT_TRUE(all.contains("!uge.dat"));
  ASSERT_TRUE(all.contains("!ycle.dat"));

  // A size beyond the volume cannot be read whole: what the chain gives is
  // kept, and the file is reported short.
  ErrorCode rc = 0;
  Recover(all.at("!uge.dat"), &rc);
  EXPECT_EQ(rc, err::kHandleEof);
  EXPECT_LE(std::filesystem::file_size(temp_ / "out.bin"), 16384u * 1024u);
  Recover(all.at("!ycle.dat"), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_LE(std::filesystem::file_size(temp_ / "out.bin"), 50000u);

  FoundFileRecord huge_clusters = all.at("!ycle.dat");
  huge_clusters.cluster_bytes = 200 * 1024 * 1024;
  Recover(huge_clusters, &rc);
  EXPECT_EQ(rc, err::kWriteFault);
}

TEST_F(FatCraftedTest, CorruptBootSectorIsRefusedWithACode) {
  Format(16, 16384);
  const std::vector<uint8_t> zero_sector_size = {0, 0};
  testing::WriteFileBytes(image_, 11, zero_sector_size);
  CFastFatRecovery engine(history_);
  EXPECT_EQ(engine.OpenImage(image_, 1), err::kUnrecognizedMedia);
  EXPECT_EQ(engine.Scan(nullptr), err::kUnrecognizedMedia);
  EXPECT_EQ(engine.GetRecordCount(), 0u);
  std::vector<FoundFileRecord> none;
  EXPECT_EQ(engine.ListFolder(nullptr, 1, &none), err::kInvalidParameter);
}

}  // namespace
}  // namespace vexlo
