// One source of the disk list: a partition (read through its whole disk) or
// an image file, with the engine of its last scan.
//
// The main window owns the entries; a progress window's worker uses an
// entry's engine while the modal window keeps the user from starting other
// work, so an engine is only ever used by one thread at a time.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

#include "engine/file_recovery_parse.h"

struct SourceEntry
{
    uint16_t id = 0; // the identifier copied into every record (source_id)
    bool isImage = false;
    QString imagePath; // image sources only
    uint32_t diskNumber = 0;
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    std::unique_ptr<vexlo::IFileRecoveryParse> engine; // null until scanned
};
