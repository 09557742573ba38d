#include "storage/disk_enumerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sector_source.h"
#include "platform/volume_info.h"
#include "tests/support/disk_image.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fake_disk_tree.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::FakeDiskTree;
using testing::TempDir;

// Makes every device opened for its geometry report `heads` x `sectors` per
// track (as a card reader's driver does); libblkid still reads the files.
class ScopedGeometry {
 public:
  ScopedGeometry(uint32_t heads, uint32_t sectors_per_track, uint64_t disk_sectors) {
    platform::SetSourceOpenerForTesting(
        [=](const std::filesystem::path&, std::unique_ptr<platform::SectorSource>* out) {
          auto source = std::make_unique<platform::FaultySectorSource>(
              std::make_unique<platform::MemorySectorSource>(std::vector<uint8_t>{}));
          platform::DeviceGeometry geometry;
          geometry.valid = true;
          geometry.tracks_per_cylinder = heads;
          geometry.sectors_per_track = sectors_per_track;
          geometry.cylinders = disk_sectors / (uint64_t{heads} * sectors_per_track);
          source->set_geometry(geometry);
          *out = std::move(source);
          return ErrorCode(err::kSuccess);
        });
  }
  ~ScopedGeometry() { platform::SetSourceOpenerForTesting({}); }
};

struct Span {
  EntryKind kind;
  uint64_t start;
  uint64_t length;
};

std::vector<PartitionRecord> BuildList(const platform::SysfsRoots& roots) {
  DiskEnumerator enumerator(roots);
  EXPECT_TRUE(enumerator.BuildDiskList());
  std::vector<PartitionRecord> entries;
  enumerator.CollectEntries(&entries);
  return entries;
}

void ExpectSpans(const std::vector<PartitionRecord>& entries, const std::vector<Span>& expected) {
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(entries[i].kind, expected[i].kind);
    EXPECT_EQ(entries[i].start, expected[i].start);
    EXPECT_EQ(entries[i].length, expected[i].length);
    EXPECT_EQ(entries[i].id, i + 1);
  }
}

class DiskEnumeratorTest : public ::testing::Test {
 protected:
  // A disk of 99,968 sectors with one FAT16 volume in an MBR partition from
  // sector 2048 to its end, as a small card is sold.
  void AddFat16Card(const std::string& disk, uint32_t minor, bool removable,
                    const std::string& label) {
    tree_.AddDisk(disk, 8, minor, 99968, removable);
    tree_.WritePartitionTable(disk, "label: dos\n2048,97920,6\n");
    tree_.FormatFat(disk, 2048, 97920, 16, label);
    tree_.AddPartition(disk, disk + "1", 1, minor + 1, 2048, 97920);
  }

  TempDir temp_;
  FakeDiskTree tree_{temp_.path()};
};

// A removable card with one FAT32 volume at sector 8,192: the stretch before
// it is a free area only when it is larger than one cylinder of the reported
// geometry; space after the last volume likewise.
TEST_F(DiskEnumeratorTest, CardWithVolumeAtSector8192) {
  struct Case {
    const char* name;
    uint32_t heads;  // 0: the device reports no head and track counts
    uint32_t sectors_per_track;
    uint64_t disk_sectors;
    std::vector<Span> expected;
  };
  const std::vector<Case> cases = {
      {"sd card geometry",
       4,
       16,
       80000,
       {{EntryKind::kFreeArea, 16, 8176}, {EntryKind::kVolume, 8192, 71808}}},
      {"no geometry: classic cylinder hides the gap",
       0,
       0,
       80000,
       {{EntryKind::kVolume, 8192, 71808}}},
      {"free tail beyond a cylinder",
       255,
       63,
       100000,
       {{EntryKind::kVolume, 8192, 71808}, {EntryKind::kFreeArea, 80000, 16390}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FakeDiskTree tree(temp.path());
    tree.AddDisk("sdb", 8, 16, c.disk_sectors, /*removable=*/true);
    tree.WritePartitionTable("sdb", "label: dos\n8192,71808,c\n");
    tree.FormatFat("sdb", 8192, 71808, 32, "CARD");
    tree.AddPartition("sdb", "sdb1", 1, 17, 8192, 71808);
    ASSERT_FALSE(HasFatalFailure());
    std::optional<ScopedGeometry> geometry;
    if (c.heads != 0) geometry.emplace(c.heads, c.sectors_per_track, c.disk_sectors);

    const std::vector<PartitionRecord> entries = BuildList(tree.roots());
    ExpectSpans(entries, c.expected);
    const auto volume = std::find_if(entries.begin(), entries.end(),
                                     [](const auto& e) { return e.kind == EntryKind::kVolume; });
    ASSERT_NE(volume, entries.end());
    EXPECT_EQ(volume->partition_type, kPartitionTypeFat32);
    EXPECT_EQ(volume->file_system, "FAT32");
    EXPECT_EQ(volume->label, "CARD");
    EXPECT_EQ(volume->partition_number, 1);
    EXPECT_EQ(volume->disk_number, 0);
    EXPECT_EQ(volume->root_path, tree.DevPath("sdb1"));
    EXPECT_TRUE(volume->removable);
    EXPECT_EQ(volume->access_error, 0);
    // Not mounted: sized by its length, nothing known to be free.
    EXPECT_EQ(volume->total_bytes, 71808u * 512);
    EXPECT_EQ(volume->used_bytes, volume->total_bytes);
    EXPECT_EQ(volume->free_bytes, 0u);
    for (const PartitionRecord& e : entries) {
      if (e.kind != EntryKind::kFreeArea) continue;
      EXPECT_EQ(e.partition_type, 0);
      EXPECT_EQ(e.total_bytes, e.length * 512);
      EXPECT_EQ(e.free_bytes, e.total_bytes);
      EXPECT_TRUE(e.file_system.empty());
    }
  }
}

// Containers and volumes that carry no type byte must neither be listed as
// volumes nor have their sectors shown as free.
TEST_F(DiskEnumeratorTest, TablesWithoutListedVolumes) {
  struct Case {
    const char* name;
    std::string table;  // empty: no partition table at all
    std::vector<std::tuple<const char*, uint32_t, uint64_t, uint64_t>> partitions;
    std::vector<std::pair<uint64_t, uint64_t>> fat16;  // formatted stretches
    std::vector<Span> expected;
  };
  const std::vector<Case> cases = {
      {"gpt: unknown file system dropped, its space taken",
       "label: gpt\n2048,40000,U\n42048,50000,L\n",
       {{"sdb1", 1, 2048, 40000}, {"sdb2", 2, 42048, 50000}},
       {{2048, 40000}},
       {{EntryKind::kFreeArea, 16, 2032},
        {EntryKind::kVolume, 2048, 40000},
        {EntryKind::kFreeArea, 92048, 7920}}},
      {"mbr: extended container skipped, logical volume listed",
       "label: dos\n2048,40000,6\n42048,57920,5\n44096,40000,6\n",
       {{"sdb1", 1, 2048, 40000}, {"sdb2", 2, 42048, 2}, {"sdb5", 5, 44096, 40000}},
       {{2048, 40000}, {44096, 40000}},
       {{EntryKind::kFreeArea, 16, 2032},
        {EntryKind::kVolume, 2048, 40000},
        {EntryKind::kFreeArea, 42048, 2048},
        {EntryKind::kVolume, 44096, 40000},
        {EntryKind::kFreeArea, 84096, 15872}}},
      {"no table: the formatted disk is one volume",
       "",
       {},
       {{0, 99968}},
       {{EntryKind::kVolume, 0, 99968}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FakeDiskTree tree(temp.path());
    tree.AddDisk("sdb", 8, 16, 99968);
    if (!c.table.empty()) tree.WritePartitionTable("sdb", c.table);
    for (const auto& [start, length] : c.fat16) tree.FormatFat("sdb", start, length, 16, "DATA");
    uint32_t minor = 17;
    for (const auto& [name, number, start, length] : c.partitions) {
      tree.AddPartition("sdb", name, number, minor++, start, length);
    }
    ASSERT_FALSE(HasFatalFailure());
    ScopedGeometry geometry(4, 16, 99968);
    const std::vector<PartitionRecord> entries = BuildList(tree.roots());
    ExpectSpans(entries, c.expected);
    for (const PartitionRecord& e : entries) {
      if (e.kind == EntryKind::kVolume) {
        EXPECT_EQ(e.partition_type, kPartitionTypeFat);
      }
    }
  }
}

// Cards of 64 GB and more come formatted with exFAT; their volume must be
// listed whatever table holds it, its type known from the volume itself.
TEST_F(DiskEnumeratorTest, ExFatVolumesAreListedOnEveryTable) {
  struct Case {
    const char* name;
    std::string table;  // empty: no partition table at all
    uint64_t start;
  };
  const Case cases[] = {
      {"mbr, exFAT type byte", "label: dos\n2048,32768,7\n", 2048},
      {"mbr, FAT32 type byte", "label: dos\n2048,32768,c\n", 2048},
      {"gpt, basic data", "label: gpt\n2048,32768,EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n", 2048},
      {"no table", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    FakeDiskTree tree(temp.path());
    tree.AddDisk("sdb", 8, 16, 40000, /*removable=*/true);
    if (!c.table.empty()) tree.WritePartitionTable("sdb", c.table);
    testing::ExFatImage volume;
    ASSERT_EQ(volume.Format(temp / "exfat.img", 16, 4096), "");
    ASSERT_EQ(testing::PlaceVolume(tree.DevPath("sdb"), temp / "exfat.img", c.start), "");
    if (!c.table.empty()) tree.AddPartition("sdb", "sdb1", 1, 17, c.start, 32768);
    ASSERT_FALSE(HasFatalFailure());

    const std::vector<PartitionRecord> entries = BuildList(tree.roots());
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [](const auto& e) { return e.kind == EntryKind::kVolume; });
    ASSERT_NE(found, entries.end());
    EXPECT_EQ(found->file_system, "exFAT");
    EXPECT_EQ(found->start, c.start);
    EXPECT_NE(found->partition_type, 0);
  }
}

TEST_F(DiskEnumeratorTest, BlankCardIsOneWholeDiskEntryNumberedByPosition) {
  AddFat16Card("sda", 0, /*removable=*/false, "SYSTEM");
  tree_.AddDisk("sdb", 8, 16, 60000, /*removable=*/true);
  ASSERT_FALSE(HasFatalFailure());

  const std::vector<PartitionRecord> entries = BuildList(tree_.roots());
  ASSERT_EQ(entries.size(), 2u);
  const PartitionRecord& blank = entries[1];
  EXPECT_EQ(blank.kind, EntryKind::kWholeDisk);
  EXPECT_EQ(blank.id, 2);
  EXPECT_EQ(blank.disk_number, 1);
  EXPECT_EQ(blank.partition_type, 0);
  EXPECT_EQ(blank.start, 0u);
  EXPECT_EQ(blank.length, 60000u);
  EXPECT_EQ(blank.free_bytes, 60000u * 512);
  EXPECT_EQ(blank.disk_path, tree_.DevPath("sdb"));
}

// The disk list names a card by what sysfs says of its disk; a SCSI
// inquiry pads both strings with blanks, and either may be missing.
TEST_F(DiskEnumeratorTest, EntriesCarryTheDisksVendorModelAndSize) {
  struct Case {
    const char* vendor;  // null: no such attribute
    const char* model;
    const char* expected;
  };
  const Case cases[] = {
      {"SanDisk ", "Ultra           ", "SanDisk Ultra"},
      {nullptr, "SD16G", "SD16G"},
      {"Generic ", nullptr, "Generic"},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    TempDir temp;
    FakeDiskTree tree(temp.path());
    tree.AddDisk("sdb", 8, 16, 60000, /*removable=*/true);
    const std::filesystem::path device = tree.roots().sys_block / "sdb" / "device";
    std::filesystem::create_directories(device);
    if (c.vendor != nullptr) std::ofstream(device / "vendor") << c.vendor << "\n";
    if (c.model != nullptr) std::ofstream(device / "model") << c.model << "\n";

    const std::vector<PartitionRecord> entries = BuildList(tree.roots());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].disk_model, c.expected);
    EXPECT_EQ(entries[0].disk_bytes, 60000u * 512);
  }
}

// Mounted on folders only, and reached through two mount lines: one entry,
// numbered, sized by the mounted file system.
TEST_F(DiskEnumeratorTest, FolderMountedVolumeWithTwoLinksIsListedOnce) {
  AddFat16Card("sdb", 16, /*removable=*/true, "PHOTOS");
  ASSERT_FALSE(HasFatalFailure());
  const std::filesystem::path first = temp_ / "media";
  const std::filesystem::path second = temp_ / "bound";
  std::filesystem::create_directories(first);
  std::filesystem::create_directories(second);
  tree_.AddMount(8, 17, first);
  tree_.AddMount(8, 17, second);

  const std::vector<PartitionRecord> entries = BuildList(tree_.roots());
  ASSERT_EQ(entries.size(), 1u);
  const PartitionRecord& volume = entries[0];
  EXPECT_EQ(volume.id, 1);
  EXPECT_EQ(volume.mount_points, (std::vector<std::filesystem::path>{first, second}));
  uint64_t total = 0;
  uint64_t free = 0;
  ASSERT_TRUE(platform::VolumeSizesAt(first, &total, &free).ok());
  EXPECT_EQ(volume.total_bytes, total);
  EXPECT_EQ(volume.used_bytes + volume.free_bytes, volume.total_bytes);
}

TEST_F(DiskEnumeratorTest, NumbersFollowPositionAndPulledCardVanishes) {
  AddFat16Card("sdc", 32, /*removable=*/true, "CARD");
  ASSERT_FALSE(HasFatalFailure());
  const std::vector<PartitionRecord> before = BuildList(tree_.roots());
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].id, 1);
  EXPECT_EQ(before[0].disk_number, 0);

  // A disk that sorts before the card moves its number and its disk number.
  tree_.AddDisk("sda", 8, 0, 50000);
  DiskEnumerator enumerator(tree_.roots());
  std::vector<PartitionRecord> vanished;
  ASSERT_TRUE(enumerator.FindVanishedEntries(before, &vanished));
  std::vector<PartitionRecord> after;
  enumerator.CollectEntries(&after);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].kind, EntryKind::kWholeDisk);
  EXPECT_EQ(after[1].id, 2);
  EXPECT_EQ(after[1].disk_number, 1);
  EXPECT_EQ(after[1].start, before[0].start);

  // Pulling the card: exactly its entry vanishes.
  tree_.RemoveDisk("sdc");
  ASSERT_TRUE(enumerator.FindVanishedEntries(after, &vanished));
  ASSERT_EQ(vanished.size(), 1u);
  EXPECT_EQ(vanished[0].root_path, tree_.DevPath("sdc1"));

  // NextEntry walks what CollectEntries gives.
  PartitionRecord entry;
  ASSERT_TRUE(enumerator.NextEntry(&entry));
  EXPECT_EQ(entry.disk_path, tree_.DevPath("sda"));
  EXPECT_FALSE(enumerator.NextEntry(&entry));
}

// Devices the user may not read are still listed from sysfs, marked with the
// code, so that the front end can explain; an empty card reader is not.
TEST_F(DiskEnumeratorTest, UnreadableDevicesAreListedFromSysfs) {
  tree_.AddDisk("sdb", 8, 16, 99968, true);
  tree_.AddPartition("sdb", "sdb1", 1, 17, 2048, 97920);
  tree_.AddDisk("sdc", 8, 32, 40000, true);
  tree_.AddDisk("sdd", 8, 48, 0, true);
  ASSERT_FALSE(HasFatalFailure());
  for (const char* name : {"sdb", "sdb1", "sdc"}) std::filesystem::remove(tree_.DevPath(name));

  const std::vector<PartitionRecord> entries = BuildList(tree_.roots());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, EntryKind::kVolume);
  EXPECT_EQ(entries[0].start, 2048u);
  EXPECT_EQ(entries[0].length, 97920u);
  EXPECT_NE(entries[0].access_error, 0);
  EXPECT_TRUE(entries[0].file_system.empty());
  EXPECT_EQ(entries[1].kind, EntryKind::kWholeDisk);
  EXPECT_EQ(entries[1].length, 40000u);
  EXPECT_NE(entries[1].access_error, 0);
}

TEST(DiskEnumeratorNoSysfs, BuildFailsAndListIsEmpty) {
  TempDir temp;
  platform::SysfsRoots roots;
  roots.sys_block = temp / "missing";
  DiskEnumerator enumerator(roots);
  EXPECT_FALSE(enumerator.BuildDiskList());
  PartitionRecord entry;
  EXPECT_FALSE(enumerator.NextEntry(&entry));
}

}  // namespace
}  // namespace vexlo
