#include "device_names.h"

#include "catalogue/device_names.h"
#include "platform/sector_source.h"

QString DiskName(const QString &kind, const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::DiskName(kind.toStdString(), record));
}

QString DeviceNode(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::DeviceNode(record));
}

QString MountedDevice(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::MountedDevice(record));
}

QString PartitionName(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::PartitionName(record));
}

QString PartitionDescription(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::PartitionDescription(record));
}

QString DeviceWithLabel(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(vexlo::catalogue::DeviceWithLabel(record));
}

const char *DeviceRefusedKey()
{
    return vexlo::platform::RunsAsRoot() ? "MSG0513" : "MSG0512";
}
