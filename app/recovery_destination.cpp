#include "recovery_destination.h"

#include "source_entry.h"
#include "storage/destination_on_source.h"

bool DestinationOnSource(const std::filesystem::path &destination, const SourceEntry &source,
                         const vexlo::PartitionRecord *record)
{
    if (source.isImage) {
        return vexlo::DestinationOnSource(
                destination, vexlo::SourceMedium::ImageFile(source.imagePath.toStdString()));
    }
    if (record == nullptr)
        return false;
    // A free area or a blank card has no device of its own: its disk counts.
    const std::filesystem::path &device
            = record->root_path.empty() ? record->disk_path : record->root_path;
    return vexlo::DestinationOnSource(destination, vexlo::SourceMedium::Device(device));
}
