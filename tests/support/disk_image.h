// Images of whole cards, as `dd` of a card gives them: a partition table
// written by sfdisk, and volumes made and filled on their own by the other
// helpers, then placed at their partitions.
//
// Every helper returns an empty string on success, else what failed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vexlo::testing {

// Writes the partition table `script` (sfdisk(8): "label: dos" or "gpt" and
// one line per partition) onto `disk`, an image file or a fabricated device
// file, without telling any kernel about it.
std::string WritePartitionTable(const std::filesystem::path& disk, const std::string& script);

// Creates `image`, sparse, of `size_mib` MiB, with the partition table
// `script`.
std::string MakeDiskImage(const std::filesystem::path& image, uint64_t size_mib,
                          const std::string& script);

// Copies the volume image `volume` into `disk` at 512-byte sector
// `start_512`, keeping the disk's length.
std::string PlaceVolume(const std::filesystem::path& disk, const std::filesystem::path& volume,
                        uint64_t start_512);

}  // namespace vexlo::testing
