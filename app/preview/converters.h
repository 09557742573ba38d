// The converters that turn a found document into something the preview pane
// can show: text for office files and archives, a picture for a PDF.
//
// Each has one operation, Convert(source file, out text) -> error code
// (0 = success). A failure (87 when the tool is missing, fails or its output
// is unusable) makes the pane fall back to the raw view of the file's first
// bytes, so none of the tools is required for a preview to work.
//
// Office files go through LibreOffice ("soffice --headless --cat") in a
// private profile, so that the user's own LibreOffice is neither joined nor
// ended; a watchdog ends the conversion's own process when it hangs. A PDF's
// first page is rendered by pdftoppm into "tmp.jpg" beside the document,
// which the engine extracted into the scan-log folder (the text stays
// empty). Archives are listed in-process with libarchive.
// Converters run in the user-interface thread.
#pragma once

#include <QString>

#include "platform/error_code.h"

class CConverter
{
public:
    virtual ~CConverter() = default;
    virtual vexlo::ErrorCode Convert(const QString &source, QString *text) = 0;
};

// Word-processor documents: the first 2,048 characters of the text.
class CWord : public CConverter
{
public:
    vexlo::ErrorCode Convert(const QString &source, QString *text) override;
};

// Spreadsheets: the cell texts of rows 1-10 and columns 1-10 of the first
// sheet, one after another.
class CExcel : public CConverter
{
public:
    vexlo::ErrorCode Convert(const QString &source, QString *text) override;
};

// Presentations: the text of every slide, one line per text frame.
class CPPT : public CConverter
{
public:
    vexlo::ErrorCode Convert(const QString &source, QString *text) override;
};

// PDF: the first page as "tmp.jpg" beside the document (a PNG inside; the
// pane decodes by content).
class CPDF : public CConverter
{
public:
    vexlo::ErrorCode Convert(const QString &source, QString *text) override;
};

// Archives: a listing of the entries (size, date, name) below a dashed line.
class CZIP : public CConverter
{
public:
    vexlo::ErrorCode Convert(const QString &source, QString *text) override;

    // Listings stop after this many entries, so that a crafted archive cannot
    // hold the user-interface thread for long.
    static constexpr int kMaxEntries = 10000;
};

// The folder the preview files live in (the scan-log folder), with a
// trailing separator.
QString PreviewFolder();

// The picture a PDF's first page is rendered to: "tmp.jpg" beside the
// extracted document.
QString PdfPagePicture(const QString &document);
