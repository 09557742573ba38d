// How the disk list, the facts beside it and the scan window name a device:
// the names of catalogue/device_names.h as Qt text, and the message for a
// device the system refused.
#pragma once

#include <QString>

#include "storage/partition_record.h"

// "Removable disk — SanDisk Ultra (/dev/sdb), 14.8 GB"; `kind` is the word
// for the disk's kind, the model is left out when the system names none.
QString DiskName(const QString &kind, const vexlo::PartitionRecord &record);

// The device of an entry: the volume's own node, or the disk's for a
// stretch that has none (a free area).
QString DeviceNode(const vexlo::PartitionRecord &record);

// "/dev/sdb1 · /media/user/CARD_LABEL": the node and where it is mounted,
// for the facts beside the list, which name the label on their own.
QString MountedDevice(const vexlo::PartitionRecord &record);

// "/dev/sdb1 · CARD_LABEL · /media/user/CARD_LABEL": what the list's first
// column shows, the file system and size having their own columns. Empty
// parts are left out; every mount point is named.
QString PartitionName(const vexlo::PartitionRecord &record);

// The same with the file system and size, for the row's tooltip:
// "/dev/sdb1 · CARD_LABEL · FAT32 · 14.8 GB · /media/user/CARD_LABEL".
QString PartitionDescription(const vexlo::PartitionRecord &record);

// "/dev/sdb1 (CARD_LABEL)", or the node alone for a volume without label.
QString DeviceWithLabel(const vexlo::PartitionRecord &record);

// The message that says why the system refused to open a device: root is
// never told to become root.
const char *DeviceRefusedKey();
