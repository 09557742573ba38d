#include "device_names.h"

#include <QStringList>

#include "platform/sector_source.h"
#include "size_text.h"

namespace {

const QString kSeparator = QStringLiteral(" · ");

QStringList NameParts(const vexlo::PartitionRecord &record)
{
    QStringList parts{DeviceNode(record)};
    if (!record.label.empty())
        parts << QString::fromStdString(record.label);
    return parts;
}

QStringList MountPoints(const vexlo::PartitionRecord &record)
{
    QStringList points;
    for (const auto &point : record.mount_points)
        points << QString::fromStdString(point.string());
    return points;
}

} // namespace

QString DiskName(const QString &kind, const vexlo::PartitionRecord &record)
{
    const QString model = QString::fromStdString(record.disk_model);
    const QString node = QString::fromStdString(record.disk_path.string());
    const QString named = model.isEmpty() ? kind : QStringLiteral("%1 — %2").arg(kind, model);
    return QStringLiteral("%1 (%2), %3").arg(named, node, SizeText(record.disk_bytes));
}

QString DeviceNode(const vexlo::PartitionRecord &record)
{
    return QString::fromStdString(
            (record.root_path.empty() ? record.disk_path : record.root_path).string());
}

QString MountedDevice(const vexlo::PartitionRecord &record)
{
    return (QStringList{DeviceNode(record)} + MountPoints(record)).join(kSeparator);
}

QString PartitionName(const vexlo::PartitionRecord &record)
{
    return (NameParts(record) + MountPoints(record)).join(kSeparator);
}

QString PartitionDescription(const vexlo::PartitionRecord &record)
{
    QStringList parts = NameParts(record);
    if (!record.file_system.empty())
        parts << QString::fromStdString(record.file_system);
    parts << SizeText(record.total_bytes);
    return (parts + MountPoints(record)).join(kSeparator);
}

QString DeviceWithLabel(const vexlo::PartitionRecord &record)
{
    return record.label.empty() ? DeviceNode(record)
                                : QStringLiteral("%1 (%2)").arg(
                                        DeviceNode(record), QString::fromStdString(record.label));
}

const char *DeviceRefusedKey()
{
    return vexlo::platform::RunsAsRoot() ? "MSG0513" : "MSG0512";
}
