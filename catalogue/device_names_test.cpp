#include "catalogue/device_names.h"

#include <gtest/gtest.h>

#include "catalogue/display_format.h"

namespace vexlo::catalogue {
namespace {

constexpr uint64_t kCardBytes = 15'804'137'472;

PartitionRecord Card() {
  PartitionRecord record;
  record.disk_path = "/dev/sdb";
  record.root_path = "/dev/sdb1";
  record.disk_bytes = kCardBytes;
  record.total_bytes = kCardBytes - (4 << 20);
  record.file_system = "FAT32";
  return record;
}

// The names of the desktop program and the command line, for every part a
// device may lack: model, label, file system, mount points, a node of its own.
TEST(DeviceNames, LeaveOutWhatTheDeviceLacks) {
  const std::string disk = SizeText(kCardBytes);
  const std::string volume = SizeText(kCardBytes - (4 << 20));
  struct Case {
    const char* name;
    PartitionRecord record;
    std::string disk_name, partition_name, description, with_label, mounted;
  };
  PartitionRecord full = Card();
  full.disk_model = "SanDisk Ultra";
  full.label = "CARD";
  full.mount_points = {"/media/anna/CARD", "/mnt"};
  PartitionRecord bare = Card();
  bare.file_system.clear();
  PartitionRecord free = Card();
  free.root_path.clear();
  const Case cases[] = {
      {"everything known", full, "Removable disk — SanDisk Ultra (/dev/sdb), " + disk,
       "/dev/sdb1 · CARD · /media/anna/CARD · /mnt",
       "/dev/sdb1 · CARD · FAT32 · " + volume + " · /media/anna/CARD · /mnt", "/dev/sdb1 (CARD)",
       "/dev/sdb1 · /media/anna/CARD · /mnt"},
      {"nothing but the node", bare, "Removable disk (/dev/sdb), " + disk, "/dev/sdb1",
       "/dev/sdb1 · " + volume, "/dev/sdb1", "/dev/sdb1"},
      {"a free area, read through its disk", free, "Removable disk (/dev/sdb), " + disk, "/dev/sdb",
       "/dev/sdb · FAT32 · " + volume, "/dev/sdb", "/dev/sdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DiskName("Removable disk", c.record), c.disk_name);
    EXPECT_EQ(PartitionName(c.record), c.partition_name);
    EXPECT_EQ(PartitionDescription(c.record), c.description);
    EXPECT_EQ(DeviceWithLabel(c.record), c.with_label);
    EXPECT_EQ(MountedDevice(c.record), c.mounted);
  }
}

}  // namespace
}  // namespace vexlo::catalogue
