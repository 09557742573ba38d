#include "main_wnd_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "storage/disk_enumerator.h"

QString ChooseImageFileDialog(QWidget *owner)
{
    // Images made by other tools end in .dd, .raw, .bin or .iso: all files
    // can be chosen too.
    const QString path = QFileDialog::getOpenFileName(
            owner, QString(), QString(), QStringLiteral("Image Files (*.img);;All files (*)"));
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

QString ChooseRecoveryFolderDialog(QWidget *owner)
{
    return QFileDialog::getExistingDirectory(owner, QStringLiteral("Select location for recovery"));
}

std::vector<vexlo::PartitionRecord> ReadDiskList()
{
    std::vector<vexlo::PartitionRecord> entries;
    vexlo::DiskEnumerator enumerator;
    if (enumerator.BuildDiskList())
        enumerator.CollectEntries(&entries);
    return entries;
}
