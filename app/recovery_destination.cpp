#include "recovery_destination.h"

#include "platform/volume_info.h"
#include "source_entry.h"
#include "storage/image_target_check.h"

bool DestinationOnSource(const std::filesystem::path &destination, const SourceEntry &source,
                         const vexlo::PartitionRecord *record)
{
    uint64_t destination_device = 0;
    if (vexlo::platform::DeviceOfPath(destination, &destination_device) != 0)
        return false;
    auto sameDevice = [destination_device](const std::filesystem::path &path) {
        uint64_t device = 0;
        return vexlo::platform::DeviceOfPath(path, &device) == 0 && device == destination_device;
    };
    if (source.isImage)
        return sameDevice(source.imagePath.toStdString());
    if (record == nullptr)
        return false;
    for (const std::filesystem::path &mount_point : record->mount_points) {
        if (sameDevice(mount_point))
            return true;
    }
    // A free area or a blank card has no device of its own: its disk counts.
    const std::filesystem::path &device
            = record->root_path.empty() ? record->disk_path : record->root_path;
    return !device.empty() && vexlo::ImageTargetOnSource(destination, device);
}
