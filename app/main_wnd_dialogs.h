// The real dialogs and the real disk list behind the main window's services.
#pragma once

#include <QString>

#include <vector>

#include "storage/partition_record.h"

class QWidget;

// "Image Files (*.img)" or "All files (*)"; the path is absolute and canonical, because the
// scan history tells earlier scans of an image apart by its exact path.
// Empty when cancelled.
QString ChooseImageFileDialog(QWidget *owner);

// "Select location for recovery"; folders only. Empty when cancelled.
QString ChooseRecoveryFolderDialog(QWidget *owner);

// Every entry of the disk list, read afresh (the disk list model keeps the
// removable ones); empty when the disk table cannot be read.
std::vector<vexlo::PartitionRecord> ReadDiskList();
