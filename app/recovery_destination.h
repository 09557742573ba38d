// Whether a recovery destination lies on a source that is being recovered.
//
// Files written onto the medium they are recovered from can overwrite the
// very sectors still to be read. Linux has no drive letters to compare, so
// devices are: the destination's file system (stat st_dev) against an image
// file's file system, or against a partition's own block device and the
// file systems mounted from it.
#pragma once

#include <filesystem>

#include "storage/partition_record.h"

struct SourceEntry;

// `record` is the partition of a partition source (null for an image). A
// destination whose device cannot be read counts as elsewhere.
bool DestinationOnSource(const std::filesystem::path &destination, const SourceEntry &source,
                         const vexlo::PartitionRecord *record);
