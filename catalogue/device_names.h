// How the programs name a device: by its node under /dev, as every other
// Linux program names it, with the vendor, model and label the system
// reports. Positions in the disk list move when a card arrives, so they
// never name a device on their own. The desktop program shows these names
// in its disk list, the facts beside it and the scan window; the command
// line in its list.
#pragma once

#include <string>
#include <string_view>

#include "storage/partition_record.h"

namespace vexlo::catalogue {

// "Removable disk — SanDisk Ultra (/dev/sdb), 14.8 GB"; `kind` is the word
// for the disk's kind, the model is left out when the system names none.
std::string DiskName(std::string_view kind, const PartitionRecord& record);

// The device of an entry: the volume's own node, or the disk's for a
// stretch that has none (a free area).
std::string DeviceNode(const PartitionRecord& record);

// "/dev/sdb1 · /media/user/CARD_LABEL": the node and where it is mounted.
std::string MountedDevice(const PartitionRecord& record);

// "/dev/sdb1 · CARD_LABEL · /media/user/CARD_LABEL": the node, label and
// mount points. Empty parts are left out; every mount point is named.
std::string PartitionName(const PartitionRecord& record);

// The same with the file system and size:
// "/dev/sdb1 · CARD_LABEL · FAT32 · 14.8 GB · /media/user/CARD_LABEL".
std::string PartitionDescription(const PartitionRecord& record);

// "/dev/sdb1 (CARD_LABEL)", or the node alone for a volume without label.
std::string DeviceWithLabel(const PartitionRecord& record);

}  // namespace vexlo::catalogue
