// The progress window of an image copy.
//
// Its worker copies a whole disk, or one stretch of it (a volume or a free
// area of the disk list), into an image file, phase by phase, with a map
// beside it (storage/disk_image_copy.h); the copy calls back several times a
// second and the callback fills the window: the stage line names the phase
// and tells what was rescued, what is unreadable in how many areas, the read
// rate and how long ago the last good read was. The window closes with 1
// when the copy is complete, with 2 when the user stopped it (the part
// copied so far stays in the image, its map beside it) and with 3 when it
// failed or the device stopped answering. What the copy reported (how far
// it came, why it ended, which sectors could not be read) stays readable
// once the window has closed.
#pragma once

#include <QString>

#include <cstdint>

#include "language_manager.h"
#include "progress_wnd.h"
#include "storage/disk_image_copy.h"

namespace Ui {
class CreateImageProcessWnd;
}

// What to copy: a stretch of a disk in its own sector size, or all of it.
struct ImageCopyRange
{
    int32_t diskNumber = -1; // disk-table number; negative: none (the copy fails)
    bool wholeDisk = false;
    uint64_t firstSector = 0; // ignored for a whole disk
    uint64_t sectorCount = 0; // ignored for a whole disk; 0 copies nothing and fails
};

// The texts one progress callback shows.
struct ImageProgressTexts
{
    int percentage = 0;
    QString stage;
    QString percent;
    QString time;
    QString sectors;
};

ImageProgressTexts MakeImageProgressTexts(const LanguageManager::SectionMap &messages,
                                          const vexlo::ImageCopyProgress &progress);

class CCreateImageProcessWnd : public CProgressWnd
{
    Q_OBJECT

public:
    static constexpr int kWidth = 450;
    static constexpr int kHeight = 250;

    // `job` carries where disk numbers are looked up, whether to start anew
    // and, for tests, the copy's clock; its callback is the window's.
    CCreateImageProcessWnd(QWidget *owner, const QString &imagePath, const ImageCopyRange &range,
                           vexlo::ImageCopyJob job = {});
    ~CCreateImageProcessWnd() override;

    // Valid once the window has closed.
    const vexlo::ImageCopyReport &report() const { return m_report; }
    int32_t copyResult() const { return m_copyResult; }

protected:
    void onClick(const QString &name) override;

private:
    static int32_t progressCallback(void *user, const vexlo::ImageCopyProgress &progress);
    void work() override;
    void applyTexts(const ImageProgressTexts &texts);

    Ui::CreateImageProcessWnd *m_ui;
    QString m_imagePath;
    QString m_imageLine; // "Creating image file: <path>", above the phase
    ImageCopyRange m_range;
    vexlo::ImageCopyJob m_job;
    vexlo::ImageCopyReport m_report; // written by the worker before it sets the done flag
    int32_t m_copyResult = 0;
};
