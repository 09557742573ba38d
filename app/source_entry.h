// One source of the disk list: a partition (read through its whole disk), an
// image file, or a partition of an image of a whole card (read through the
// image), with the engine of its last scan.
//
// The main window owns the entries; a progress window's worker uses an
// entry's engine while the modal window keeps the user from starting other
// work, so an engine is only ever used by one thread at a time.
#pragma once

#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <memory>

#include "engine/file_recovery_parse.h"

struct SourceEntry
{
    uint16_t id = 0; // the identifier copied into every record (source_id)
    bool isImage = false;
    QString imagePath; // image sources only
    uint32_t partitionNumber = 0; // in an image's partition table; 0: the image whole
    uint32_t diskNumber = 0;
    QString deviceName; // device sources: "/dev/sdb1 (LABEL)", as the scan window names it
    // The stretch read; of an image partition in 512-byte sectors, of a
    // whole image unused (it is read to its end).
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    std::unique_ptr<vexlo::IFileRecoveryParse> engine; // null until scanned
};

// An image, or partition N of it, as the user names it: "card.img",
// "card.img:2".
inline QString ImagePartName(const QString &image, uint32_t partitionNumber)
{
    return partitionNumber == 0 ? image : QStringLiteral("%1:%2").arg(image).arg(partitionNumber);
}

// An image source by its file name.
inline QString ImageSourceName(const SourceEntry &source)
{
    return ImagePartName(QFileInfo(source.imagePath).fileName(), source.partitionNumber);
}
