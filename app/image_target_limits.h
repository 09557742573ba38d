// Whether the file system of an image's destination can hold the image.
//
// FAT32 stores a file's length in 32 bits, so its largest file is one byte
// short of 4 GiB; an image of exactly 4 GiB would fail at its last write,
// after the whole card was read. FAT12/16 volumes are held to 2 GiB, the
// limit many systems enforce for them. exFAT has no such limit even though
// its name contains "FAT". A destination must also have more free space
// than the image needs (equal is refused: the file system's own bookkeeping
// takes some).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class ImageTargetVerdict {
    kAccepted,
    kTooLargeForFat32, // MSG0220
    kTooLargeForFat, // MSG0219
    kNotEnoughSpace, // MSG0221
};

inline constexpr uint64_t kFat32LargestFile = (uint64_t{1} << 32) - 1;
inline constexpr uint64_t kFatLargestImage = uint64_t{1} << 31;

// `fileSystem` is the destination's file-system name ("FAT32", "FAT",
// "exFAT", "ext4" ...); `freeBytes` is absent when it could not be read,
// which lets the check pass.
ImageTargetVerdict CheckImageTargetSize(uint64_t sourceBytes, std::string_view fileSystem,
                                        std::optional<uint64_t> freeBytes);

// The message key that explains a refusal; null for kAccepted.
const char *ImageTargetMessageKey(ImageTargetVerdict verdict);
