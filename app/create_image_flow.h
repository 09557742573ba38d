// "Write an image of the selected source": from the selected disk-list entry
// to an image file that can be scanned instead of the card.
//
// The user picks the target in a save dialog that proposes a name after the
// source. A target is refused, and the dialog shown again, when it lies on
// the source itself (the copy would overwrite what it is saving), when the
// destination's file system cannot hold a file that large, or when the
// destination has no more free space than the image needs. The copy runs in
// the image window; a failure is explained, sectors that could not be read
// are reported, and a finished image is offered for a deep scan.
//
// Everything that touches the system (the dialog, the facts about the
// destination, the disk table) is a replaceable service, so that the whole
// flow runs in tests without real dialogs or devices. Used from the UI
// thread only.
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "create_image_process_wnd.h"
#include "storage/partition_record.h"

class QWidget;

// The selected source: a disk-list entry (CDiskListModel::recordOf) or a
// whole disk (CDiskListModel::diskNumberOf). With neither, nothing is
// selected. The record must outlive the flow.
struct ImageFlowSource
{
    const vexlo::PartitionRecord *partition = nullptr;
    std::optional<int32_t> diskNumber;
};

struct ImageFlowServices
{
    // The save dialog; an empty answer cancels.
    std::function<QString(QWidget *owner, const QString &proposedName)> askSavePath;
    // Whether `target` lies on the source device, one of its volumes or a
    // file system mounted from them.
    std::function<bool(const std::filesystem::path &target,
                       const std::filesystem::path &sourceDevice)>
            targetOnSource;
    // The file-system name ("FAT32", "FAT", "exFAT", "ext4" ...) of the
    // volume that holds `folder`; empty when unknown.
    std::function<std::string(const std::filesystem::path &folder)> fileSystemName;
    // Free bytes of that volume; absent when they cannot be read.
    std::function<std::optional<uint64_t>(const std::filesystem::path &folder)> freeBytes;
    // The copy's disk table and clock; the image window sets its callback.
    vexlo::ImageCopyJob copy;
};

// The real dialog, the system's facts and the system's disk table.
ImageFlowServices DefaultImageFlowServices();

// The name the save dialog proposes: "<id> (<file system>, <size>)" for an
// entry, "Physical Disk <n>" (counted from 1) for a whole disk.
QString ProposedImageName(const ImageFlowSource &source);

// Runs "write an image of the selected source": the save dialog with the
// proposed name, the target checks (repeating the dialog after a refusal),
// the image window, MSG0217 on failure and the MSG0214 question.
// Returns the image path when the user wants to scan the new image in
// deep mode, else an empty string.
QString RunCreateImageFlow(QWidget *owner, const ImageFlowSource &source,
                           const ImageFlowServices &services = DefaultImageFlowServices());
