#include "image_target_limits.h"

#include <string>

ImageTargetVerdict CheckImageTargetSize(uint64_t sourceBytes, std::string_view fileSystem,
                                        std::optional<uint64_t> freeBytes)
{
    std::string name(fileSystem);
    for (char &c : name)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool exfat = name.find("EXFAT") != std::string::npos;
    const bool fat32 = !exfat && name.find("FAT32") != std::string::npos;
    const bool fat = !exfat && !fat32 && name.find("FAT") != std::string::npos;
    if (fat32 && sourceBytes > kFat32LargestFile)
        return ImageTargetVerdict::kTooLargeForFat32;
    if (fat && sourceBytes > kFatLargestImage)
        return ImageTargetVerdict::kTooLargeForFat;
    if (freeBytes && *freeBytes <= sourceBytes)
        return ImageTargetVerdict::kNotEnoughSpace;
    return ImageTargetVerdict::kAccepted;
}

const char *ImageTargetMessageKey(ImageTargetVerdict verdict)
{
    switch (verdict) {
    case ImageTargetVerdict::kTooLargeForFat32:
        return "MSG0220";
    case ImageTargetVerdict::kTooLargeForFat:
        return "MSG0219";
    case ImageTargetVerdict::kNotEnoughSpace:
        return "MSG0221";
    case ImageTargetVerdict::kAccepted:
        break;
    }
    return nullptr;
}
