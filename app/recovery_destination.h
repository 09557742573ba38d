// Whether a recovery destination lies on a source that is being recovered.
//
// Files written onto the medium they are recovered from can overwrite the
// very sectors still to be read, so the user is asked first. The rule is
// storage's (destination_on_source.h); this names the source of a disk-list
// entry for it: an image file, a partition's own device, or the disk of a
// free area or of a whole disk.
#pragma once

#include <filesystem>

#include "storage/partition_record.h"

struct SourceEntry;

// `record` is the partition of a partition source (null for an image).
bool DestinationOnSource(const std::filesystem::path &destination, const SourceEntry &source,
                         const vexlo::PartitionRecord *record);
